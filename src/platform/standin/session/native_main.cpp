// The native tool's entry: the product's program between the opening and
// the saving of the registry file it works on.
#include "app/program.h"
#include "platform/standin/session/native_session.h"

int main(int argc, char* argv[]) {
    standin::StartNativeSession();
    return standin::FinishNativeSession(RunProgram(argc, argv));
}
