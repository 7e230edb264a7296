#include "platform/standin/reg/key_tree.h"

#include <algorithm>
#include <cstring>

#include "platform/standin/reg/key_links.h"
#include "platform/standin/reg/reg_text.h"
#include "platform/standin/store/root_names.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

std::u16string NameView::ToUtf16() const {
    std::u16string out;
    CopyTo(&out);
    return out;
}

void NameView::CopyTo(std::u16string* out) const {
    out->resize(size());
    if (wide_) {
        std::copy(WideData(), WideData() + size(), out->begin());
    } else {
        std::copy(AsciiData(), AsciiData() + size(), out->begin());
    }
}

bool NameView::Equals(NameView other) const {
    if (size() != other.size()) return false;
    if (!wide_ && !other.wide_ && std::memcmp(data_, other.data_, size()) == 0) return true;
    if (wide_ && other.wide_ && std::memcmp(data_, other.data_, size() * 2) == 0) return true;
    for (size_t i = 0; i < size(); ++i) {
        char16_t a = (*this)[i], b = other[i];
        if (a != b && FoldCase(a) != FoldCase(b)) return false;
    }
    return true;
}

bool NameLessThan(NameView a, NameView b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a[i], y = b[i];
        if (x == y) continue;
        x = FoldCase(x);
        y = FoldCase(y);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

// Tree

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;

// Eight ASCII bytes with their capitals lower-cased.
uint64_t FoldAscii8(uint64_t x) {
    uint64_t atLeastA = x + (0x80 - 'A') * kOnes;
    uint64_t pastZ = x + (0x80 - 'Z' - 1) * kOnes;
    return x | (((atLeastA & ~pastZ) & (0x80 * kOnes)) >> 2);
}

uint64_t Mix(uint64_t h, uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

// A name's hash after case folding, with its parent's index (not its
// address, so that a run hashes alike wherever memory lies); a name of ASCII
// units hashes alike whether it is kept as text or as UTF-16.
uint32_t HashName(uint32_t parentIndex, NameView name) {
    uint64_t h = Mix(parentIndex, name.size());
    size_t n = name.size();
    bool ascii = !name.IsWide();
    if (!ascii) {
        ascii = true;
        for (size_t i = 0; i < n && ascii; ++i) ascii = name.WideData()[i] < 0x80;
    }
    if (!ascii) {
        for (size_t i = 0; i < n; ++i) h = Mix(h, FoldCase(name.WideData()[i]));
        return static_cast<uint32_t>(h >> 32);
    }
    for (size_t i = 0; i < n; i += 8) {
        uint64_t word = 0;
        size_t count = std::min<size_t>(8, n - i);
        if (!name.IsWide() && count == 8) {
            std::memcpy(&word, name.AsciiData() + i, 8);
        } else {
            for (size_t k = 0; k < count; ++k) word |= static_cast<uint64_t>(name[i + k]) << (8 * k);
        }
        h = Mix(h, FoldAscii8(word));
    }
    return static_cast<uint32_t>(h >> 32);
}

}  // namespace

Tree::Tree() {
    // Made in the body: the pool the roots live in is built after them.
    machine = NewRoot(u"HKEY_LOCAL_MACHINE");
    users = NewRoot(u"HKEY_USERS");
    currentUser = NewRoot(u"HKEY_CURRENT_USER");
    currentConfig = NewRoot(u"HKEY_CURRENT_CONFIG");
    Classes();
    MarkLoaded();
}

Key* Tree::NewRoot(std::u16string_view name) {
    return Make(nullptr, NameView::Wide(name), true);
}

Key* Tree::Classes() {
    if (classes_ && !classes_->Deleted()) return classes_;
    // Always present on Windows: never written out as keys of their own.
    Key* software = machine->AddChild(u"SOFTWARE");
    software->permanent = true;
    classes_ = software->AddChild(u"Classes");
    classes_->permanent = true;
    return classes_;
}

Key* Tree::Root(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return Classes();
    if (root == HKEY_LOCAL_MACHINE) return machine;
    if (root == HKEY_CURRENT_USER) return currentUser;
    if (root == HKEY_USERS) return users;
    if (root == HKEY_CURRENT_CONFIG) return currentConfig;
    return nullptr;
}

Key* Tree::RootOfPath(std::u16string_view path, size_t* used) {
    HKEY root = standin::RootOfPath(path, used);
    return root ? Root(root) : nullptr;
}

Key* Tree::KeyAtPath(std::u16string_view path, bool create) {
    size_t used = 0;
    Key* key = RootOfPath(path, &used);
    std::u16string_view rest = path.substr(std::min(used, path.size()));
    while (key && !rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (part.empty()) continue;
        Key* next = create ? key->AddChild(part) : key->Child(part);
        // A file from 64-bit Windows may name a shared key through the link
        // Classes\Wow6432Node\AppID before anything made Wow6432Node.
        if (!next && IsClassesKey(key) && EqualsFolded(part, u"Wow6432Node") &&
            IsLinkedFromWow6432Node(NameView::Wide(rest.substr(0, rest.find(u'\\')))))
            next = key;
        key = next;
    }
    return key;
}

uint32_t Tree::Hash(const Key* parent, NameView name) {
    return HashName(parent ? parent->index_ : 0, name);
}

Key* Tree::Find(const Key* parent, NameView name) const {
    if (slots_.empty()) return nullptr;
    uint32_t hash = Hash(parent, name);
    size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.key) return nullptr;
        if (slot.hash != hash) continue;
        const Key& key = keys_[slot.key - 1];
        if (key.parent_ == parent && key.name_.Equals(name)) return const_cast<Key*>(&key);
    }
}

void Tree::Grow() {
    std::vector<Slot> old(std::max<size_t>(64, slots_.size() * 2), Slot{0, 0});
    old.swap(slots_);
    size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (!slot.key) continue;
        size_t i = slot.hash & mask;
        while (slots_[i].key) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

Key* Tree::Make(Key* parent, NameView name, bool keepName) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    uint32_t hash = Hash(parent, name);
    if (keepName) name = NameView::Wide(names_.emplace_back(name.ToUtf16()));
    Key* key = &keys_.emplace_back(name, parent, this);
    key->index_ = static_cast<uint32_t>(keys_.size());
    size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].key) i = (i + 1) & mask;
    slots_[i] = Slot{hash, key->index_};
    ++used_;
    return key;
}

void Tree::Forget(const Key* key) {
    size_t mask = slots_.size() - 1;
    size_t i = Hash(key->parent_, key->name_) & mask;
    while (slots_[i].key != key->index_) i = (i + 1) & mask;
    slots_[i] = Slot{0, 0};
    --used_;
    // Moves back the keys after the gap that would no longer be reached.
    for (size_t j = (i + 1) & mask; slots_[j].key; j = (j + 1) & mask) {
        size_t home = slots_[j].hash & mask;
        bool reachable = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (reachable) continue;
        slots_[i] = slots_[j];
        slots_[j] = Slot{0, 0};
        i = j;
    }
}

// Key

bool Key::CreatedByRun() const {
    return index_ > tree_->keysAtLoad;
}

std::u16string Key::Path() const {
    if (!parent_) return name_.ToUtf16();
    std::u16string path = parent_->Path();
    path += u'\\';
    path += name_.ToUtf16();
    return path;
}

Key* Key::Child(NameView name) const {
    if (Key* holder = LinkHolder(this, &name, false)) return holder->Child(name);
    return tree_->Find(this, name);
}

Key* Key::Child(std::u16string_view name) const {
    return Child(NameView::Wide(name));
}

Key* Key::AddChild(NameView name, bool* created, bool keepName) {
    if (Key* holder = LinkHolder(this, &name, true)) return holder->AddChild(name, created, keepName);
    if (Key* child = Child(name)) {
        if (created) *created = false;
        return child;
    }
    Key* child = tree_->Make(this, name, keepName);
    if (created) *created = true;
    auto at = children_.end();
    if (sorted_ && !children_.empty() && NameLessThan(child->name_, children_.back()->name_)) {
        if (tree_->loading) {
            sorted_ = false;
        } else {
            at = std::lower_bound(children_.begin(), children_.end(), child,
                                  [](const Key* a, const Key* b) { return NameLessThan(a->name_, b->name_); });
        }
    }
    children_.insert(at, child);
    longest_ = std::max<size_t>(longest_, child->name_.size());
    return child;
}

bool Key::RemoveChild(Key* child) {
    if (!child || child->parent_ != this || child->deleted_) return false;
    // Left in children_ until the order is next asked for, so that removing
    // many children costs no more than removing one.
    tree_->Forget(child);
    if (!tree_->loading && !child->CreatedByRun()) tree_->removedByRun.push_back(child);
    child->removed_ = true;
    child->MarkDeleted();
    ++detached_;
    longestValid_ = false;
    return true;
}

void Key::DropDetached() const {
    if (!detached_) return;
    std::erase_if(children_, [](const Key* child) { return child->removed_; });
    detached_ = 0;
}

void Key::MarkDeleted() {
    // The subtree stays reachable from the deleted key, as a handle to it sees it.
    deleted_ = true;
    for (Key* child : children_)
        if (!child->deleted_) child->MarkDeleted();
}

const std::vector<Key*>& Key::OrderedChildren() const {
    DropDetached();
    if (!sorted_) {
        // Sorted by the first eight folded units first (a shorter name is
        // padded with zeros, which sort first), then by whole names.
        struct Entry {
            uint64_t high, low;
            Key* key;
        };
        std::vector<Entry> entries;
        entries.reserve(children_.size());
        for (Key* child : children_) {
            uint64_t prefix[2] = {0, 0};
            NameView name = child->name_;
            for (size_t i = 0; i < std::min<size_t>(8, name.size()); ++i)
                prefix[i / 4] |= static_cast<uint64_t>(FoldCase(name[i])) << (16 * (3 - i % 4));
            entries.push_back(Entry{prefix[0], prefix[1], child});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (a.high != b.high) return a.high < b.high;
            if (a.low != b.low) return a.low < b.low;
            return NameLessThan(a.key->name_, b.key->name_);
        });
        for (size_t i = 0; i < entries.size(); ++i) children_[i] = entries[i].key;
        sorted_ = true;
    }
    return children_;
}

size_t Key::LongestChildName() const {
    if (!longestValid_) {
        DropDetached();
        longest_ = 0;
        for (const Key* child : children_) longest_ = std::max<size_t>(longest_, child->name_.size());
        longestValid_ = true;
    }
    return longest_;
}

void Key::AddSection(Section* section) {
    Section** link = &firstSection_;
    while (*link) link = &(*link)->next;
    *link = section;
}

std::vector<Value>& Key::LoadedValues() const {
    if (values_) return *values_;
    values_ = std::make_unique<std::vector<Value>>();
    // The values as the file's sections for this key set and removed them, in turn.
    for (const Section* section = firstSection_; section; section = section->next) {
        VisitSectionBody(section->body, [&](const BodyEntry& entry) {
            if (entry.kind == BodyEntry::Kind::Comment) return;
            std::u16string name;
            DWORD type = REG_NONE;
            ParseValueEntry(entry.text, tree_->regedit4, &name, &type);
            auto it = std::find_if(values_->begin(), values_->end(),
                                   [&](const Value& v) { return EqualsFolded(v.name, name); });
            if (entry.kind == BodyEntry::Kind::Removal) {
                if (it != values_->end()) values_->erase(it);
                return;
            }
            if (it == values_->end()) it = values_->insert(values_->end(), Value(std::move(name), type, {}));
            it->type = type;
            it->KeepFileText(entry.text, tree_->regedit4);
        });
    }
    return *values_;
}

const std::vector<Value>& Key::Values() const {
    return LoadedValues();
}

Value* Key::FindValue(std::u16string_view name) {
    for (auto& v : LoadedValues())
        if (EqualsFolded(v.name, name)) return &v;
    return nullptr;
}

const Value* Key::FindValue(std::u16string_view name) const {
    for (const auto& v : LoadedValues())
        if (EqualsFolded(v.name, name)) return &v;
    return nullptr;
}

Value& Key::SetValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
    Value* v = FindValue(name);
    if (!v) {
        Value made(std::u16string(name.begin(), name.end()), type, {});
        values_->push_back(std::move(made));
        v = &values_->back();
    }
    v->type = type;
    v->SetData(std::move(data));
    v->changed = true;
    edited_ = true;
    return *v;
}

const std::vector<uint8_t>& Value::Data() const {
    if (!decoded_) {
        DecodeValueText(fileText, regedit4_, &data_);
        decoded_ = true;
    }
    return data_;
}

void Value::SetData(std::vector<uint8_t> data) {
    data_ = std::move(data);
    decoded_ = true;
}

void Value::KeepFileText(std::string_view text, bool regedit4) {
    fileText = text;
    regedit4_ = regedit4;
    changed = false;
    data_ = std::vector<uint8_t>();
    decoded_ = false;
}

// Node

LONG Key::FindChild(std::u16string_view name, std::shared_ptr<Node>* found) {
    Key* child = Child(name);
    if (!child) return ERROR_FILE_NOT_FOUND;
    *found = tree_->Share(child);
    return ERROR_SUCCESS;
}

LONG Key::MakeChild(std::u16string_view name, std::shared_ptr<Node>* made, bool* created) {
    *made = tree_->Share(AddChild(name, created));
    return ERROR_SUCCESS;
}

LONG Key::SubkeyCount(size_t* count) {
    *count = ChildCount();
    return ERROR_SUCCESS;
}

LONG Key::LongestSubkeyName(size_t* length) {
    *length = LongestChildName();
    return ERROR_SUCCESS;
}

LONG Key::SubkeyName(size_t index, std::u16string* name) {
    const auto& children = OrderedChildren();
    if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
    // A sweep asks for the indexes in turn: the keys a few ahead, and their
    // names, are fetched into the cache while this one is answered.
    if (index + 16 < children.size()) __builtin_prefetch(children[index + 16]);
    if (index + 8 < children.size()) __builtin_prefetch(children[index + 8]->name_.Data());
    children[index]->name_.CopyTo(name);
    return ERROR_SUCCESS;
}

LONG Key::ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) {
    const Value* value = FindValue(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    *type = value->type;
    *data = value->Data();
    return ERROR_SUCCESS;
}

LONG Key::WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data, bool* changed) {
    const Value* value = FindValue(name);
    *changed = !value || value->type != type || value->Data() != data;
    if (*changed) SetValue(name, type, std::move(data));
    return ERROR_SUCCESS;
}

LONG Key::ValueShapes(std::vector<ValueShape>* shapes) {
    const auto& values = LoadedValues();
    shapes->clear();
    shapes->reserve(values.size());
    for (const Value& v : values) shapes->push_back(ValueShape{v.name.size(), v.type, v.Data().size()});
    return ERROR_SUCCESS;
}

LONG Key::ValueNames(std::vector<std::u16string>* names) {
    names->clear();
    for (const Value& v : LoadedValues()) names->push_back(v.name);
    return ERROR_SUCCESS;
}

LONG Key::DeleteChild(std::u16string_view name) {
    return RemoveChild(Child(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

}  // namespace standin
