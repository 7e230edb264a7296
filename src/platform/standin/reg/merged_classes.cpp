#include "platform/standin/reg/merged_classes.h"

#include <algorithm>

#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

// Below the root (and its Wow6432Node), these keys are merged one level further down.
bool MergesBelow(std::u16string_view name) {
    return EqualsFolded(name, u"CLSID") || EqualsFolded(name, u"AppID") || EqualsFolded(name, u"Interface") ||
           EqualsFolded(name, u"TypeLib");
}

}  // namespace

std::shared_ptr<Node> MergedClasses::Root(const std::shared_ptr<Tree>& tree) {
    Key* software = tree->currentUser->Child(u"Software");
    Key* user = software ? software->Child(u"Classes") : nullptr;
    if (!user) return nullptr;
    return std::make_shared<MergedClasses>(tree, user, tree->Classes(), nullptr, u"", true);
}

MergedClasses::MergedClasses(std::shared_ptr<Tree> tree, Key* user, Key* machine,
                             std::shared_ptr<MergedClasses> parent, std::u16string name, bool root)
    : tree_(std::move(tree)), user_(user), machine_(machine), parent_(std::move(parent)), name_(std::move(name)),
      root_(root) {}

Key* MergedClasses::Winner() const {
    return user_ && !user_->Deleted() ? user_ : machine_ ? machine_ : user_;
}

Key* MergedClasses::MachineKey() {
    if (!machine_ || machine_->Deleted()) machine_ = parent_->MachineKey()->AddChild(name_);
    return machine_;
}

LONG MergedClasses::FindChild(std::u16string_view name, std::shared_ptr<Node>* child) {
    Key* user = user_ ? user_->Child(name) : nullptr;
    Key* machine = machine_ ? machine_->Child(name) : nullptr;
    if (!user && !machine) return ERROR_FILE_NOT_FOUND;
    bool wow = EqualsFolded(name, u"Wow6432Node");
    if (root_ && (wow || MergesBelow(name))) {
        *child = std::make_shared<MergedClasses>(tree_, user, machine, shared_from_this(), std::u16string(name), wow);
    } else {
        *child = tree_->Share(user ? user : machine);
    }
    return ERROR_SUCCESS;
}

LONG MergedClasses::MakeChild(std::u16string_view name, std::shared_ptr<Node>* child, bool* created) {
    *created = false;
    if (FindChild(name, child) == ERROR_SUCCESS) return ERROR_SUCCESS;
    MachineKey()->AddChild(name, created);
    return FindChild(name, child);
}

const std::vector<NameView>& MergedClasses::Names() const {
    size_t counts[2] = {user_ ? user_->ChildCount() : 0, machine_ ? machine_->ChildCount() : 0};
    if (counts[0] == namesFor_[0] && counts[1] == namesFor_[1]) return names_;
    static const std::vector<Key*> kNone;
    const std::vector<Key*>& mine = user_ ? user_->OrderedChildren() : kNone;
    const std::vector<Key*>& theirs = machine_ ? machine_->OrderedChildren() : kNone;
    names_.clear();
    size_t i = 0, j = 0;
    while (i < mine.size() || j < theirs.size()) {
        if (j == theirs.size() || (i < mine.size() && NameLessThan(mine[i]->Name(), theirs[j]->Name()))) {
            names_.push_back(mine[i++]->Name());
        } else if (i == mine.size() || NameLessThan(theirs[j]->Name(), mine[i]->Name())) {
            names_.push_back(theirs[j++]->Name());
        } else {
            names_.push_back(mine[i++]->Name());  // in both: the user's
            ++j;
        }
    }
    namesFor_[0] = counts[0];
    namesFor_[1] = counts[1];
    return names_;
}

LONG MergedClasses::SubkeyCount(size_t* count) {
    *count = Names().size();
    return ERROR_SUCCESS;
}

LONG MergedClasses::LongestSubkeyName(size_t* length) {
    *length = 0;
    for (NameView name : Names()) *length = std::max(*length, name.size());
    return ERROR_SUCCESS;
}

LONG MergedClasses::SubkeyName(size_t index, std::u16string* name) {
    const std::vector<NameView>& names = Names();
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    *name = names[index].ToUtf16();
    return ERROR_SUCCESS;
}

LONG MergedClasses::ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) {
    return Winner()->ReadValue(name, type, data);
}

LONG MergedClasses::WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data, bool* changed) {
    return Winner()->WriteValue(name, type, std::move(data), changed);
}

LONG MergedClasses::ValueShapes(std::vector<ValueShape>* shapes) {
    return Winner()->ValueShapes(shapes);
}

LONG MergedClasses::ValueNames(std::vector<std::u16string>* names) {
    return Winner()->ValueNames(names);
}

LONG MergedClasses::DeleteChild(std::u16string_view name) {
    if (user_ && user_->Child(name)) return user_->DeleteChild(name);
    return machine_ ? machine_->DeleteChild(name) : ERROR_FILE_NOT_FOUND;
}

bool MergedClasses::IsDeleted() const {
    return Winner()->IsDeleted();
}

uintptr_t MergedClasses::Identity() const {
    return Winner()->Identity();
}

}  // namespace standin
