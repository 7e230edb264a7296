// Preloaded into the native tool by the tests, never linked into it: logs the
// fsync and rename calls of a save, in order, to $VANDREL_TEST_IO_LOG, and with
// VANDREL_TEST_FAIL_FSYNC set makes the fsync of a save's temporary file fail
// with EIO, a failure that nothing else provokes.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string PathOf(int fd) {
    char path[4096];
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    return n < 0 ? "?" : std::string(path, static_cast<size_t>(n));
}

void Log(const std::string& line) {
    const char* log = std::getenv("VANDREL_TEST_IO_LOG");
    if (!log) return;
    if (FILE* f = std::fopen(log, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    static auto real = Next<int (*)(int)>("fsync");
    std::string path = PathOf(fd);
    Log("fsync " + path);
    if (std::getenv("VANDREL_TEST_FAIL_FSYNC") && path.find(".vandrel-save-") != std::string::npos) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
    static auto real = Next<int (*)(const char*, const char*)>("rename");
    Log(std::string("rename ") + from + " " + to);
    return real(from, to);
}
