#include "platform/standin/disk/locked_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace standin {

namespace {

// What names a temporary file of a save: "<file>.vandrel-save-XXXXXX".
constexpr char kTempMark[] = ".vandrel-save-";

// NTFS's own attributes as ntfs-3g offers them: not listed, read and set by name.
const char* const kNtfsAttributes[] = {"system.ntfs_attrib_be", "system.ntfs_crtime_be", "system.ntfs_acl"};

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFile(int fd, const std::string& path) {
    struct stat opened, current;
    return fstat(fd, &opened) == 0 && stat(path.c_str(), &current) == 0 && opened.st_ino == current.st_ino &&
           opened.st_dev == current.st_dev;
}

// The temporary file being written, removed if a signal ends the run.
char pendingTemp[4096];
struct sigaction previous[3];
const int kEndingSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void RemovePendingAndRaise(int signal) {
    if (pendingTemp[0]) unlink(pendingTemp);
    for (size_t i = 0; i < 3; ++i)
        if (kEndingSignals[i] == signal) sigaction(signal, &previous[i], nullptr);
    raise(signal);
}

// Owns the name of the temporary file being written, and removes that file
// if a signal ends the run while it lives; it cannot fail.
class PendingTemp {
public:
    explicit PendingTemp(const char* path) {
        std::snprintf(pendingTemp, sizeof pendingTemp, "%s", path);
        struct sigaction action {};
        action.sa_handler = RemovePendingAndRaise;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < 3; ++i) sigaction(kEndingSignals[i], &action, &previous[i]);
    }
    ~PendingTemp() {
        for (size_t i = 0; i < 3; ++i) sigaction(kEndingSignals[i], &previous[i], nullptr);
        pendingTemp[0] = 0;
    }
    PendingTemp(const PendingTemp&) = delete;
    PendingTemp& operator=(const PendingTemp&) = delete;
};

bool CopyAttribute(int from, int to, const char* name, bool listed, std::string* failed) {
    ssize_t size = fgetxattr(from, name, nullptr, 0);
    if (size < 0) {
        if (!listed && (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP)) return true;
        *failed = name;
        return false;
    }
    std::vector<char> value(static_cast<size_t>(size) + 1);
    size = fgetxattr(from, name, value.data(), value.size());
    if (size < 0 || fsetxattr(to, name, value.data(), static_cast<size_t>(size), 0) != 0) {
        *failed = name;
        return false;
    }
    return true;
}

// Gives the new file what the old one has beside its bytes: owner, group,
// mode, and every extended attribute (NTFS's ACL last, which may shut out
// further changes); false, naming what could not be kept.
bool KeepMetadata(int from, int to, std::string* failed) {
    struct stat info;
    if (fstat(from, &info) != 0) {
        *failed = "its owner and mode";
        return false;
    }
    if (fchown(to, info.st_uid, info.st_gid) != 0) {
        *failed = "its owner (" + std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid) + ")";
        return false;
    }
    if (fchmod(to, info.st_mode & 07777) != 0) {
        *failed = "its mode";
        return false;
    }
    ssize_t length = flistxattr(from, nullptr, 0);
    if (length > 0) {
        std::vector<char> names(static_cast<size_t>(length));
        length = flistxattr(from, names.data(), names.size());
        for (ssize_t at = 0; length > 0 && at < length; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1)
            if (!CopyAttribute(from, to, &names[at], true, failed)) return false;
    }
    for (const char* name : kNtfsAttributes)
        if (!CopyAttribute(from, to, name, false, failed)) return false;
    return true;
}

// A new file of that name pattern (ending in XXXXXX), its name in *name; its
// descriptor, or -1.
int MakeTemporary(const std::string& pattern, std::vector<char>* name) {
    name->assign(pattern.begin(), pattern.end());
    name->push_back(0);
    return mkstemp(name->data());
}

// Writes bytes over a file's own and cuts it to their length: the file keeps
// everything it has beside its data.
bool Overwrite(const std::string& path, const std::string& bytes) {
    int target = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (target < 0) return false;
    bool ok = WriteAll(target, bytes) && ftruncate(target, static_cast<off_t>(bytes.size())) == 0 &&
              fsync(target) == 0;
    return close(target) == 0 && ok;
}

}  // namespace

int OpenLocked(const std::string& path, double timeoutSeconds, std::string* error, LockFailure* failure) {
    using Clock = std::chrono::steady_clock;
    const auto giveUp = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    bool told = false;
    *failure = LockFailure::Unreadable;
    while (true) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = SystemError(path);
            return -1;
        }
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                *error = SystemError(path + ": cannot lock");
                close(fd);
                return -1;
            }
            if (Clock::now() >= giveUp) {
                *error = path + ": still in use by another program after " + std::to_string(static_cast<long>(timeoutSeconds)) +
                         " s; nothing was done (VANDREL_LOCK_TIMEOUT sets how long to wait)";
                *failure = LockFailure::Busy;
                close(fd);
                return -1;
            }
            if (!told) {
                std::fprintf(stderr, "vandrel: %s is in use by another program; waiting up to %ld s for it\n",
                             path.c_str(), static_cast<long>(timeoutSeconds));
                std::fflush(stderr);
                told = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (SameFile(fd, path)) {
            *failure = LockFailure::None;
            return fd;
        }
        close(fd);  // replaced while we waited: lock the new one
    }
}

void RemoveStaleTemporaries(const std::string& path) {
    std::string prefix = BaseName(path) + kTempMark;
    std::string folder = Folder(path);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            unlink((folder + "/" + name).c_str());
    }
    closedir(dir);
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

bool InWimMount(const std::string& path) {
    return getxattr(path.c_str(), "wimfs.wim_filename", nullptr, 0) > 0;
}

bool RewriteInPlace(const std::string& path, const std::function<bool(const std::string& tempPath, int fd)>& fill,
                    std::string* error) {
    const char* folder = std::getenv("TMPDIR");
    std::vector<char> name;
    int fd = MakeTemporary(std::string(folder && *folder ? folder : "/tmp") + "/vandrel-save-XXXXXX", &name);
    if (fd < 0) {
        *error = SystemError(path + ": cannot create a temporary file");
        return false;
    }
    PendingTemp pending(name.data());
    errno = 0;
    bool ok = fill(name.data(), fd);
    close(fd);
    std::string bytes;
    int written = ok ? open(name.data(), O_RDONLY | O_CLOEXEC) : -1;
    ok = written >= 0 && ReadAll(written, &bytes);
    if (written >= 0) close(written);
    unlink(name.data());
    if (!ok) {
        *error = SystemError(path + ": cannot write");
        return false;
    }
    if (Overwrite(path, bytes)) return true;
    *error = SystemError(path + ": cannot write in place; unmount without --commit to discard it");
    return false;
}

bool ReplaceFile(const std::string& path, int lockFd,
                 const std::function<bool(const std::string& tempPath, int fd)>& fill, std::string* error) {
    struct stat original;
    if (fstat(lockFd, &original) == 0 && original.st_nlink > 1) {
        *error = path + ": has " + std::to_string(original.st_nlink) +
                 " hard links, which a replaced file would leave with the old content; nothing was saved";
        return false;
    }
    std::vector<char> name;
    int fd = MakeTemporary(path + kTempMark + "XXXXXX", &name);
    if (fd < 0) {
        *error = SystemError(path + ": cannot create a temporary file");
        return false;
    }
    PendingTemp pending(name.data());
    errno = 0;
    bool ok = fill(name.data(), fd) && fsync(fd) == 0;
    if (!ok) *error = SystemError(path + ": cannot write");
    std::string kept;
    if (ok && !KeepMetadata(lockFd, fd, &kept)) {
        ok = false;
        *error = SystemError(path + ": cannot keep " + kept + " on the new file, so it was not replaced");
    }
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
    int dirFd = open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace standin
