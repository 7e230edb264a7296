// A store's file on disk: opened and locked exclusively for the whole run, so
// that runs over the same file take turns, and replaced atomically: written
// to a temporary file beside it, flushed, then renamed over it.
#pragma once

#include <functional>
#include <string>

namespace standin {

// Opens path read-only and locks it, reopening if it was replaced while we
// waited; the descriptor, or -1 with "<path>: <reason>" in *error.
int OpenLocked(const std::string& path, std::string* error);
// Reads the whole of an open file.
bool ReadAll(int fd, std::string* out);
// Writes all bytes to an open file.
bool WriteAll(int fd, const std::string& bytes);
// Replaces path by what fill writes into a new file beside it (given its path
// and descriptor), with the mode of the file open at lockFd; the old file is
// untouched unless everything succeeded. False with "<path>: <reason>".
bool ReplaceFile(const std::string& path, int lockFd,
                 const std::function<bool(const std::string& tempPath, int fd)>& fill, std::string* error);

}  // namespace standin
