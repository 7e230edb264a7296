// The store the registry functions work on: one registry's keys and values,
// the .reg file's tree (reg/) or an offline hive (hive/), put in place by the
// session that loaded it (or by a test) and reached through StoreRoot.
#pragma once

#include <memory>
#include <string>

#include "platform/standin/store/node.h"

namespace standin {

// Owns one registry's roots and whether this run changed it; a failed write
// is false, with a reason in *error when the store knows more than errno.
class Store {
public:
    virtual ~Store() = default;
    // The key a predefined root handle stands for, or null for a root the store has not.
    virtual std::shared_ptr<Node> Root(HKEY root) = 0;
    // Writes the registry as it now is to a new file at path, open as fd.
    virtual bool Write(const std::string& path, int fd, std::string* error) = 0;

    // Whether a key was made or a value written since the store was loaded or saved.
    bool Changed() const { return changed_; }
    void MarkChanged() { changed_ = true; }
    void MarkSaved() { changed_ = false; }

private:
    bool changed_ = false;
};

// The store in use, or null before one is put in place.
Store* CurrentStore();
// Puts a store in place (null: none), ending the one before.
void UseStore(std::unique_ptr<Store> store);
// The key a predefined root handle stands for in the store in use, or null.
std::shared_ptr<Node> StoreRoot(HKEY root);

}  // namespace standin
