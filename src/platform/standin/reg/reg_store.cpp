#include "platform/standin/reg/reg_store.h"

#include "platform/standin/disk/locked_file.h"
#include "platform/standin/reg/merged_classes.h"
#include "platform/standin/reg/reg_text.h"

namespace standin {

RegStore::RegStore() : tree_(std::make_shared<Tree>()) {}

std::unique_ptr<RegStore> RegStore::Parse(std::string bytes, const std::string& name, std::string* error) {
    auto store = std::make_unique<RegStore>();
    if (!ParseRegFile(std::move(bytes), name, *store->tree_, store->format_, error)) return nullptr;
    return store;
}

std::shared_ptr<Node> RegStore::Root(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        if (std::shared_ptr<Node> merged = MergedClasses::Root(tree_)) return merged;
    Key* key = tree_->Root(root);
    return key ? tree_->Share(key) : nullptr;
}

bool RegStore::Write(const std::string&, int fd, std::string*) {
    return WriteAll(fd, Text());
}

std::string RegStore::Text() const {
    return WriteRegFile(*tree_, format_);
}

}  // namespace standin
