// The registry's file on disk, a .reg file or an offline hive: read and locked
// exclusively at start, so that runs over the same file take turns; written
// back atomically by its store only when something changed.
#include <unistd.h>

#include <cstdio>

#include "platform/standin/disk/locked_file.h"
#include "platform/standin/hive/hive_store.h"
#include "platform/standin/reg/reg_store.h"
#include "platform/standin/session/registry_file.h"
#include "platform/standin/store/store.h"

namespace standin {

namespace {

// The file the store in use came from, held locked while the run lasts.
struct OpenFile {
    std::string path;
    int lockFd = -1;
};

OpenFile& TheFile() {
    static OpenFile file;
    return file;
}

LoadResult ParseText(std::string bytes, const std::string& displayName) {
    LoadResult result;
    std::unique_ptr<RegStore> store = RegStore::Parse(std::move(bytes), displayName, &result.error);
    result.ok = store != nullptr;
    if (store) {
        UseStore(std::move(store));
    } else {
        UseStore(std::make_unique<RegStore>());
    }
    return result;
}

int OpenAndLock(const std::string& path, double lockTimeout, LoadResult* result) {
    LockFailure failure = LockFailure::None;
    int fd = OpenLocked(path, lockTimeout, &result->error, &failure);
    result->busy = failure == LockFailure::Busy;
    if (fd >= 0) RemoveStaleTemporaries(path);
    return fd;
}

void HoldFile(const std::string& path, int fd) {
    TheFile().path = path;
    TheFile().lockFd = fd;
}

}  // namespace

LoadResult LoadRegistryText(std::string_view bytes, const std::string& displayName) {
    return ParseText(std::string(bytes), displayName);
}

LoadResult LoadRegistryFile(const std::string& path, double lockTimeout) {
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
    HoldFile(path, fd);
    return result;
}

LoadResult LoadHiveFile(const std::string& path, double lockTimeout) {
    ReleaseRegistryFile();
    UseStore(std::make_unique<RegStore>());
    LoadResult result;
    int fd = OpenAndLock(path, lockTimeout, &result);
    if (fd < 0) return result;
    std::unique_ptr<HiveStore> hive = HiveStore::Open(path, &result.error);
    if (!hive) {
        close(fd);
        return result;
    }
    HoldFile(path, fd);
    UseStore(std::move(hive));
    result.ok = true;
    return result;
}

bool HasWow6432Node() {
    std::shared_ptr<Node> classes = StoreRoot(HKEY_CLASSES_ROOT);
    std::shared_ptr<Node> wow;
    return classes && classes->FindChild(u"Wow6432Node", &wow) == ERROR_SUCCESS;
}

bool RegistryChanged() {
    return CurrentStore() && CurrentStore()->Changed();
}

std::string SerializeRegistry() {
    auto* store = dynamic_cast<RegStore*>(CurrentStore());
    return store ? store->Text() : std::string();
}

bool SaveRegistryFile(std::string* error) {
    OpenFile& file = TheFile();
    Store* store = CurrentStore();
    if (file.path.empty() || !store) {
        *error = "no registry file is loaded";
        return false;
    }
    std::string why;
    auto fill = [&](const std::string& tempPath, int fd) { return store->Write(tempPath, fd, &why); };
    bool inPlace = InWimMount(file.path);
    if (inPlace)
        std::fprintf(stderr,
                     "vandrel: %s is in a wimlib mount: it is written in place, and the mount's commit "
                     "(wimlib-imagex unmount --commit) is what makes the change\n",
                     file.path.c_str());
    if (!(inPlace ? RewriteInPlace(file.path, fill, error) : ReplaceFile(file.path, file.lockFd, fill, error))) {
        if (!why.empty()) *error = file.path + ": cannot write: " + why;
        return false;
    }
    store->MarkSaved();
    return true;
}

void ReleaseRegistryFile() {
    OpenFile& file = TheFile();
    if (file.lockFd >= 0) close(file.lockFd);
    file.lockFd = -1;
    file.path.clear();
    // A hive is read where it lies: its store goes with the file.
    if (dynamic_cast<HiveStore*>(CurrentStore())) UseStore(std::make_unique<RegStore>());
}

}  // namespace standin
