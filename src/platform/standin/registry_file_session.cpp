// Linked into the native tool only: loads the registry file named by
// VANDREL_REGISTRY before the program starts, and saves it when the program
// ends normally, if anything changed. With VANDREL_STANDIN_TIMING set, the
// time of the load, the run and the save, and the peak memory, go to stderr.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/standin/standin.h"

namespace {

constexpr int kLoadFailed = 65;  // the file is missing or malformed
constexpr int kSaveFailed = 74;  // the changes could not be written

using Clock = std::chrono::steady_clock;
Clock::time_point loadStart, loadEnd;
long long fileBytes = 0;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

void FinishAtExit() {
    Clock::time_point runEnd = Clock::now();
    if (standin::RegistryChanged()) {
        std::string error;
        if (!standin::SaveRegistryFile(&error)) {
            std::fprintf(stderr, "vandrel: the registry was not saved: %s\n", error.c_str());
            std::fflush(stderr);
            _exit(kSaveFailed);
        }
    }
    if (std::getenv("VANDREL_STANDIN_TIMING")) {
        double load = Milliseconds(loadStart, loadEnd);
        std::fprintf(stderr, "standin: load %.1f ms (%.0f MB/s), run %.1f ms, save %.1f ms, peak %ld KiB\n", load,
                     load > 0 ? fileBytes / 1e3 / load : 0.0, Milliseconds(loadEnd, runEnd),
                     Milliseconds(runEnd, Clock::now()), PeakKilobytes());
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
        loadStart = Clock::now();
        standin::LoadResult result = standin::LoadRegistryFile(path);
        loadEnd = Clock::now();
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", result.error.c_str());
            std::fflush(stderr);
            _exit(kLoadFailed);
        }
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        fileBytes = static_cast<long long>(file.tellg());
        std::atexit(FinishAtExit);
    }
};

RegistryFileSession session;

}  // namespace
