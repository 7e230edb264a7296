// The program entry of the Windows builds.
#include "app/program.h"

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv);
}
