// The registry file on disk: read and locked exclusively at start, so that
// runs over the same file take turns; written back atomically (a temporary
// file beside it, flushed, then renamed over it) only when something changed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/standin/reg_file.h"
#include "platform/standin/standin.h"

namespace standin {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Opens and locks the file, reopening if it was replaced while we waited.
int OpenLocked(const std::string& path, std::string* error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = SystemError(path);
            return -1;
        }
        if (flock(fd, LOCK_EX) != 0) {
            *error = SystemError(path + ": cannot lock");
            close(fd);
            return -1;
        }
        struct stat opened, current;
        if (fstat(fd, &opened) == 0 && stat(path.c_str(), &current) == 0 &&
            opened.st_ino == current.st_ino && opened.st_dev == current.st_dev)
            return fd;
        close(fd);
    }
    *error = path + ": the file keeps being replaced";
    return -1;
}

bool ReadAll(int fd, std::string* out) {
    char buffer[1 << 16];
    while (true) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out->append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

LoadResult LoadRegistryText(std::string_view bytes, const std::string& displayName) {
    State& state = TheState();
    ResetTree(state);
    state.format = FileFormat{};
    LoadResult result;
    result.ok = ParseRegFile(bytes, displayName, state, &result.error);
    if (!result.ok) {
        ResetTree(state);
        state.format = FileFormat{};
    }
    state.changed = false;
    return result;
}

LoadResult LoadRegistryFile(const std::string& path) {
    State& state = TheState();
    ReleaseRegistryFile();
    LoadResult result;
    int fd = OpenLocked(path, &result.error);
    if (fd < 0) return result;
    std::string bytes;
    if (!ReadAll(fd, &bytes)) {
        result.error = SystemError(path);
        close(fd);
        return result;
    }
    result = LoadRegistryText(bytes, path);
    if (!result.ok) {
        close(fd);
        return result;
    }
    state.lockFd = fd;
    state.filePath = path;
    return result;
}

bool RegistryChanged() {
    return TheState().changed;
}

std::string SerializeRegistry() {
    return WriteRegFile(TheState());
}

bool SaveRegistryFile(std::string* error) {
    State& state = TheState();
    if (state.filePath.empty()) {
        *error = "no registry file is loaded";
        return false;
    }
    std::string bytes = WriteRegFile(state);
    std::string dir = ".";
    size_t slash = state.filePath.rfind('/');
    if (slash != std::string::npos) dir = slash == 0 ? "/" : state.filePath.substr(0, slash);
    std::string temp = state.filePath + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) {
        *error = SystemError(state.filePath + ": cannot create a temporary file");
        return false;
    }
    struct stat original;
    if (fstat(state.lockFd, &original) == 0) fchmod(fd, original.st_mode & 07777);
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    if (!ok) *error = SystemError(state.filePath + ": cannot write");
    if (close(fd) != 0 && ok) {
        ok = false;
        *error = SystemError(state.filePath + ": cannot write");
    }
    if (ok && rename(name.data(), state.filePath.c_str()) != 0) {
        ok = false;
        *error = SystemError(state.filePath + ": cannot replace");
    }
    if (!ok) {
        unlink(name.data());
        return false;
    }
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    state.changed = false;
    return true;
}

void ReleaseRegistryFile() {
    State& state = TheState();
    if (state.lockFd >= 0) close(state.lockFd);
    state.lockFd = -1;
    state.filePath.clear();
}

}  // namespace standin
