#include "platform/standin/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace standin {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

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
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size > 0) out->reserve(out->size() + static_cast<size_t>(info.st_size));
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

bool ReplaceFile(const std::string& path, int lockFd,
                 const std::function<bool(const std::string& tempPath, int fd)>& fill, std::string* error) {
    std::string dir = ".";
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) {
        *error = SystemError(path + ": cannot create a temporary file");
        return false;
    }
    struct stat original;
    if (lockFd >= 0 && fstat(lockFd, &original) == 0) fchmod(fd, original.st_mode & 07777);
    errno = 0;
    bool ok = fill(name.data(), fd) && fsync(fd) == 0;
    if (!ok) *error = SystemError(path + ": cannot write");
    if (close(fd) != 0 && ok) {
        ok = false;
        *error = SystemError(path + ": cannot write");
    }
    if (ok && rename(name.data(), path.c_str()) != 0) {
        ok = false;
        *error = SystemError(path + ": cannot replace");
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
    return true;
}

}  // namespace standin
