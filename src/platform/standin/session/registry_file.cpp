// The registry's file on disk, a .reg file or an offline hive: read and locked
// exclusively at start, so that runs over the same file take turns; written
// back atomically only when something changed.
#include <unistd.h>

#include "platform/standin/hive/hive_store.h"
#include "platform/standin/disk/locked_file.h"
#include "platform/standin/reg/reg_file.h"
#include "platform/standin/store/registry_state.h"
#include "platform/standin/session/standin.h"

namespace standin {

namespace {

LoadResult ParseText(std::string bytes, const std::string& displayName) {
    State& state = TheState();
    state.hive.reset();
    ResetTree(state);
    state.format = FileFormat{};
    LoadResult result;
    result.ok = ParseRegFile(std::move(bytes), displayName, *state.tree, state.format, &result.error);
    if (!result.ok) {
        ResetTree(state);
        state.format = FileFormat{};
    }
    state.changed = false;
    return result;
}

}  // namespace

LoadResult LoadRegistryText(std::string_view bytes, const std::string& displayName) {
    return ParseText(std::string(bytes), displayName);
}

namespace {

int OpenAndLock(const std::string& path, double lockTimeout, LoadResult* result) {
    LockFailure failure = LockFailure::None;
    int fd = OpenLocked(path, lockTimeout, &result->error, &failure);
    result->busy = failure == LockFailure::Busy;
    if (fd >= 0) RemoveStaleTemporaries(path);
    return fd;
}

}  // namespace

LoadResult LoadRegistryFile(const std::string& path, double lockTimeout) {
    State& state = TheState();
    ReleaseRegistryFile();
    LoadResult result;
    int fd = OpenAndLock(path, lockTimeout, &result);
    if (fd < 0) return result;
    std::string bytes;
    if (!ReadAll(fd, &bytes)) {
        result.error = path + ": cannot be read";
        close(fd);
        return result;
    }
    result = ParseText(std::move(bytes), path);
    if (!result.ok) {
        close(fd);
        return result;
    }
    state.lockFd = fd;
    state.filePath = path;
    return result;
}

LoadResult LoadHiveFile(const std::string& path, double lockTimeout) {
    State& state = TheState();
    ReleaseRegistryFile();
    ResetTree(state);
    LoadResult result;
    int fd = OpenAndLock(path, lockTimeout, &result);
    if (fd < 0) return result;
    state.hive = HiveStore::Open(path, &result.error);
    if (!state.hive) {
        close(fd);
        return result;
    }
    state.lockFd = fd;
    state.filePath = path;
    state.changed = false;
    result.ok = true;
    return result;
}

bool HasWow6432Node() {
    std::shared_ptr<Node> classes = StoreRoot(TheState(), HKEY_CLASSES_ROOT);
    std::shared_ptr<Node> wow;
    return classes && classes->FindChild(u"Wow6432Node", &wow) == ERROR_SUCCESS;
}

bool RegistryChanged() {
    return TheState().changed;
}

std::string SerializeRegistry() {
    return WriteRegFile(*TheState().tree, TheState().format);
}

bool SaveRegistryFile(std::string* error) {
    State& state = TheState();
    if (state.filePath.empty()) {
        *error = "no registry file is loaded";
        return false;
    }
    std::string why;
    auto fill = [&](const std::string& tempPath, int fd) {
        if (state.hive) return state.hive->Commit(tempPath, &why);
        return WriteAll(fd, WriteRegFile(*state.tree, state.format));
    };
    if (!ReplaceFile(state.filePath, state.lockFd, fill, error)) {
        if (!why.empty()) *error = state.filePath + ": cannot write: " + why;
        return false;
    }
    state.changed = false;
    return true;
}

void ReleaseRegistryFile() {
    State& state = TheState();
    if (state.lockFd >= 0) close(state.lockFd);
    state.lockFd = -1;
    state.filePath.clear();
    state.hive.reset();
}

}  // namespace standin
