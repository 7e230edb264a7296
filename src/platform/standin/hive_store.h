// The offline hive store: the SOFTWARE hive of a Windows image, read and
// written where it lies through libhivex. It is HKEY_LOCAL_MACHINE\SOFTWARE;
// HKEY_CLASSES_ROOT is its Classes key. Nothing is loaded up front: keys are
// looked up when the registry functions ask, with an index of our own for
// keys with many subkeys (libhivex looks a child up by scanning them all).
#pragma once

#include <hivex.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/standin/registry_store.h"

namespace standin {

class HiveNode;

class HiveStore {
public:
    // Opens the hive for writing; null, with "<file>: <reason>" in *error, for
    // a file that is no hive, a dirty one or one that libhivex refuses.
    static std::unique_ptr<HiveStore> Open(const std::string& path, std::string* error);
    ~HiveStore();
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    // HKEY_LOCAL_MACHINE (holding SOFTWARE only) and HKEY_CLASSES_ROOT; null for other roots.
    std::shared_ptr<Node> Root(HKEY root);
    // Writes the whole hive, as it now is, to path; false with a reason.
    bool Commit(const std::string& path, std::string* error);

    hive_h* Hive() const { return hive_; }
    // The node object of a hive node; one object per node for keys whose
    // caches pay (many subkeys) and for the roots.
    std::shared_ptr<Node> NodeFor(hive_node_h node);

    // Takes over an open hive; Open is the way in.
    explicit HiveStore(hive_h* hive) : hive_(hive) {}

private:
    hive_h* hive_;
    std::shared_ptr<Node> machine_;
    std::shared_ptr<Node> classes_;
    std::unordered_map<hive_node_h, std::shared_ptr<Node>> kept_;
};

}  // namespace standin
