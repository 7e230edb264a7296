// The native tool's session, linked into it alone: StartNativeSession opens
// the registry the tool works on before the program runs, and
// FinishNativeSession saves it when the program has ended, if anything
// changed. The registry is a .reg file named by VANDREL_REGISTRY or
// the SOFTWARE hive of an offline Windows image named by VANDREL_HIVE; one of
// them must be set. VANDREL_SYSTEM_DRIVE names the folder that stands for
// drive C: (for a hive at <root>/Windows/System32/config/SOFTWARE, <root>
// is). VANDREL_LOCK_TIMEOUT is how many seconds to wait for another run's
// lock (60). The right to configure is the right to write the registry file.
// With VANDREL_STANDIN_TIMING set, the time of the load, the run and the
// save, and the peak memory, go to stderr.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/standin/session/native_session.h"
#include "platform/standin/session/process_settings.h"
#include "platform/standin/session/registry_file.h"

namespace {

constexpr int kUsage = 64;       // no registry named, or two
constexpr int kLoadFailed = 65;  // the file is missing, malformed or not usable
constexpr int kSaveFailed = 74;  // the changes could not be written
constexpr int kBusy = 75;        // another program held the file all the time we waited
constexpr double kDefaultLockTimeout = 60;

using Clock = std::chrono::steady_clock;
Clock::time_point loadStart, loadEnd;
long long fileBytes = 0;
std::string registryPath;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

[[noreturn]] void Refuse(int status, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    _exit(status);
}

}  // namespace

namespace standin {

int FinishNativeSession(int status) {
    Clock::time_point runEnd = Clock::now();
    if (standin::RegistryChanged()) {
        std::string error;
        if (!standin::SaveRegistryFile(&error)) {
            // Standard output tells the same story as the status: the report
            // lines above it were not saved.
            std::wcout << L"ERROR: The changes could not be saved; the registry file is as it was. ["
                       << std::wstring(registryPath.begin(), registryPath.end()) << L"]" << std::endl;
            std::fprintf(stderr, "vandrel: the registry was not saved: %s\n", error.c_str());
            std::fflush(stderr);
            return kSaveFailed;
        }
    }
    if (std::getenv("VANDREL_STANDIN_TIMING")) {
        double load = Milliseconds(loadStart, loadEnd);
        std::fprintf(stderr, "standin: load %.1f ms (%.0f MB/s), run %.1f ms, save %.1f ms, peak %ld KiB\n", load,
                     load > 0 ? fileBytes / 1e3 / load : 0.0, Milliseconds(loadEnd, runEnd),
                     Milliseconds(runEnd, Clock::now()), PeakKilobytes());
    }
    return status;
}

}  // namespace standin

namespace {

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The folder holding Windows, for a hive at <root>/Windows/System32/config/SOFTWARE.
std::string ImageRoot(const std::string& hive) {
    char* real = realpath(hive.c_str(), nullptr);
    if (!real) return "";
    std::string path = real;
    std::free(real);
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    static const char* const kTail[] = {"windows", "system32", "config", "software"};
    if (parts.size() < 4) return "";
    for (size_t i = 0; i < 4; ++i)
        if (Lowered(parts[parts.size() - 4 + i]) != kTail[i]) return "";
    std::string root;
    for (size_t i = 0; i + 4 < parts.size(); ++i) root += "/" + parts[i];
    return root.empty() ? "/" : root;
}

double LockTimeout() {
    const char* text = std::getenv("VANDREL_LOCK_TIMEOUT");
    if (!text || !*text) return kDefaultLockTimeout;
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (*end || !(seconds >= 0))
        Refuse(kUsage, "vandrel: VANDREL_LOCK_TIMEOUT is not a number of seconds");
    return seconds;
}

// Only a user who may replace the registry file may configure: root, or one
// who may write the file and the folder that holds it.
void DecideAdministrator(const std::string& path) {
    if (geteuid() == 0) return;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, std::max<size_t>(slash, 1));
    if (access(path.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK | X_OK) == 0) {
        standin::SetAdministrator(true);
        return;
    }
    std::string why = "this user may not write ";
    why += path;
    why += " (or create a file beside it): configuring needs the right to write the registry file";
    standin::SetAdministrator(false, why);
}

}  // namespace

namespace standin {

void StartNativeSession() {
    {
        const char* reg = std::getenv("VANDREL_REGISTRY");
        const char* hive = std::getenv("VANDREL_HIVE");
        bool useReg = reg && *reg, useHive = hive && *hive;
        if (useReg && useHive)
            Refuse(kUsage, "vandrel: VANDREL_HIVE and VANDREL_REGISTRY are both set: name one registry, not two");
        if (!useReg && !useHive)
            Refuse(kUsage, "vandrel: no registry to work on: set VANDREL_REGISTRY to a .reg file, or VANDREL_HIVE "
                           "to the SOFTWARE hive of an offline Windows image");
        const std::string path = useHive ? hive : reg;
        registryPath = path;
        const char* drive = std::getenv("VANDREL_SYSTEM_DRIVE");
        std::string root = drive && *drive ? drive : useHive ? ImageRoot(path) : "";
        if (!root.empty() && !standin::SetSystemDrive(root))
            Refuse(kLoadFailed, "vandrel: VANDREL_SYSTEM_DRIVE: " + root + " is not a folder");
        if (useHive && root.empty())
            standin::SetNoSystemDrive(path + " is not at <image>/Windows/System32/config/SOFTWARE, so the "
                                      "image's drive C: is not known: set VANDREL_SYSTEM_DRIVE to the image's "
                                      "folder (the one holding Windows) to write the companion host's path");
        double lockTimeout = LockTimeout();
        loadStart = Clock::now();
        standin::LoadResult result =
            useHive ? standin::LoadHiveFile(path, lockTimeout) : standin::LoadRegistryFile(path, lockTimeout);
        loadEnd = Clock::now();
        if (!result.ok) Refuse(result.busy ? kBusy : kLoadFailed, result.error);
        DecideAdministrator(path);
        if (!standin::HasWow6432Node())
            std::fprintf(stderr,
                         "vandrel: %s: the classes have no Wow6432Node key: taken as one registry view, as on "
                         "32-bit Windows (CLSID is the 32-bit view's)\n",
                         path.c_str());
        struct stat info;
        if (stat(path.c_str(), &info) == 0) fileBytes = static_cast<long long>(info.st_size);
    }
}

}  // namespace standin
