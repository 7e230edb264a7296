// A store's file on disk: opened and locked exclusively for the whole run, so
// that runs over the same file take turns, and replaced atomically: written
// to a temporary file beside it, flushed, given the file's owner, mode and
// extended attributes (an NTFS image's ACL, DOS attributes and creation time
// among them), then renamed over it.
#pragma once

#include <functional>
#include <string>

namespace standin {

// Why a file could not be opened and locked.
enum class LockFailure { None, Unreadable, Busy };

// Opens path read-only and locks it, reopening if it was replaced while we
// waited; waits at most timeoutSeconds for another run's lock, saying so on
// standard error. The descriptor, or -1 with "<path>: <reason>" in *error.
int OpenLocked(const std::string& path, double timeoutSeconds, std::string* error, LockFailure* failure);
// Removes the temporary files that a run killed while it saved left beside
// path; only the holder of the lock may call it.
void RemoveStaleTemporaries(const std::string& path);
// Reads the whole of an open file.
bool ReadAll(int fd, std::string* out);
// Writes all bytes to an open file.
bool WriteAll(int fd, const std::string& bytes);
// Replaces path by what fill writes into a new file beside it (given its path
// and descriptor), with the owner, mode and extended attributes of the file
// open at lockFd; the old file is untouched unless everything succeeded, and
// the new one is removed if a signal ends the run while it is written.
// False with "<path>: <reason>".
bool ReplaceFile(const std::string& path, int lockFd,
                 const std::function<bool(const std::string& tempPath, int fd)>& fill, std::string* error);
// Whether path lies in a read-write mount of a WIM image by wimlib, which
// answers its own wimfs.* attributes for every file it shows.
bool InWimMount(const std::string& path);
// Rewrites path in place with what fill writes into a temporary file in
// $TMPDIR (or /tmp): for a wimlib mount, where a new file would lose the old
// one's security descriptor, attributes, creation time and named streams,
// and whose commit is the atomic step. False with "<path>: <reason>".
bool RewriteInPlace(const std::string& path, const std::function<bool(const std::string& tempPath, int fd)>& fill,
                    std::string* error);

}  // namespace standin
