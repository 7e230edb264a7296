// Linked into the native tool only: loads the registry file named by
// VANDREL_REGISTRY before the program starts, and saves it when the program
// ends normally, if anything changed.
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "platform/standin/standin.h"

namespace {

constexpr int kLoadFailed = 65;   // the file is missing or malformed
constexpr int kSaveFailed = 74;   // the changes could not be written

void SaveAtExit() {
    if (!standin::RegistryChanged()) return;
    std::string error;
    if (!standin::SaveRegistryFile(&error)) {
        std::fprintf(stderr, "vandrel: the registry was not saved: %s\n", error.c_str());
        std::fflush(stderr);
        _exit(kSaveFailed);
    }
}

struct RegistryFileSession {
    RegistryFileSession() {
        const char* path = std::getenv("VANDREL_REGISTRY");
        if (!path || !*path) {
            std::fprintf(stderr,
                         "vandrel: VANDREL_REGISTRY is not set: using an empty registry that is not saved\n");
            return;
        }
        standin::LoadResult result = standin::LoadRegistryFile(path);
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", result.error.c_str());
            std::fflush(stderr);
            _exit(kLoadFailed);
        }
        std::atexit(SaveAtExit);
    }
};

RegistryFileSession session;

}  // namespace
