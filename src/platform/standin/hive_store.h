// The offline hive store: the SOFTWARE hive of a Windows image, read and
// written where it lies through libhivex. It is HKEY_LOCAL_MACHINE\SOFTWARE;
// HKEY_CLASSES_ROOT is its Classes key. Nothing is loaded up front: keys are
// looked up when the registry functions ask, with an index of our own for
// keys with many subkeys (libhivex looks a child up by scanning them all).
#pragma once

#include <hivex.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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
    // libhivex, opened for writing: the hive is read through a read-only
    // mapping until the first write, then reopened (its node handles are
    // offsets in the file and stay valid). Null when it cannot be reopened.
    hive_h* WritableHive();
    // The node object of a hive node; one object per node for keys whose
    // caches pay (many subkeys) and for the roots.
    std::shared_ptr<Node> NodeFor(hive_node_h node);
    // The subkeys of a key as the file lists them, read from the file itself:
    // libhivex refuses to list a key of more than 70,000 subkeys. False when
    // the key is not in the file as it was opened, has grown since, or its
    // lists are damaged.
    bool ChildrenFromFile(hive_node_h node, std::vector<hive_node_h>* children) const;
    // Looks a child up in the file's own list of a key of at most `limit`
    // subkeys that has not grown; false when the file cannot answer.
    bool FindInFile(hive_node_h node, std::u16string_view name, size_t limit, hive_node_h* found) const;
    // A key's name: read from the file for keys that were in it when it was
    // opened (names never change), which spares libhivex's conversions.
    void NameOf(hive_node_h node, std::u16string* name) const;
    size_t NameLength(hive_node_h node) const;
    // Whether a key's name is that name, compared as the registry compares names.
    bool NameIs(hive_node_h node, std::u16string_view name) const;
    // Records a key made in this run below parent: the file as opened knows
    // nothing of it, and its parent's lists there are out of date.
    void NoteCreated(hive_node_h node, hive_node_h parent) {
        created_.insert(node);
        grown_.insert(parent);
    }

    // Takes over an open hive; Open is the way in.
    HiveStore(hive_h* hive, std::string path) : hive_(hive), path_(std::move(path)) {}

private:
    bool VisitList(size_t offset, int depth, const std::function<bool(hive_node_h)>& visit) const;
    // The nk record of a key in the file as opened, or null.
    const unsigned char* RecordInFile(hive_node_h node) const;
    // A key's name bytes in the file as opened (length in characters), or null.
    const unsigned char* NameInFile(hive_node_h node, size_t* length, bool* latin1) const;

    struct Mapping {
        unsigned char* bytes = nullptr;
        size_t size = 0;
        ~Mapping();
    };

    hive_h* hive_;
    std::string path_;
    bool writable_ = false;
    mutable size_t namesRead_ = 0;  // since the mapping's pages were last given back
    Mapping file_;  // the hive as it was opened, read-only
    std::shared_ptr<Node> machine_;
    std::shared_ptr<Node> classes_;
    std::unordered_map<hive_node_h, std::shared_ptr<Node>> kept_;
    std::unordered_set<hive_node_h> created_;
    std::unordered_set<hive_node_h> grown_;
};

}  // namespace standin
