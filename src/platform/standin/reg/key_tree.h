// The stand-in's registry: a tree of keys, each with its values. Names are
// compared without regard to case and kept with their case; subkeys are
// enumerated in the order Wine uses (lower-cased names, code unit order).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/store/node.h"
#include "platform/standin/win32_api.h"

namespace standin {

// A view of a name: ASCII text (as the loaded file spells it) or UTF-16 code
// units. Whatever it views must outlive it.
class NameView {
public:
    NameView() = default;
    static NameView Ascii(std::string_view text) { return NameView(text.data(), text.size(), false); }
    static NameView Wide(std::u16string_view units) { return NameView(units.data(), units.size(), true); }

    size_t size() const { return size_; }
    char16_t operator[](size_t i) const {
        return wide_ ? static_cast<const char16_t*>(data_)[i]
                     : static_cast<unsigned char>(static_cast<const char*>(data_)[i]);
    }
    const void* Data() const { return data_; }
    bool IsWide() const { return wide_; }
    const char* AsciiData() const { return static_cast<const char*>(data_); }
    const char16_t* WideData() const { return static_cast<const char16_t*>(data_); }
    std::u16string ToUtf16() const;
    void CopyTo(std::u16string* out) const;
    // Equal to the registry: same length, same units once case is folded.
    bool Equals(NameView other) const;

private:
    NameView(const void* data, size_t size, bool wide) : data_(data), size_(size), wide_(wide) {}
    const void* data_ = nullptr;
    size_t size_ : 63 = 0;
    bool wide_ : 1 = false;
};

// Wine's order of subkeys: lower-cased names, code unit by code unit.
bool NameLessThan(NameView a, NameView b);

struct NameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        return NameLessThan(NameView::Wide(a), NameView::Wide(b));
    }
};

// Owns one value's name, type and data (or the file's line for it, until it
// is first read); it cannot fail.
class Value {
public:
    Value(std::u16string name, DWORD type, std::vector<uint8_t> data)
        : name(std::move(name)), type(type), data_(std::move(data)) {}

    // The bytes as Windows keeps them (UTF-16LE for strings). A value as the
    // file set it keeps only its line and is decoded when first asked for.
    const std::vector<uint8_t>& Data() const;
    void SetData(std::vector<uint8_t> data);
    // Keeps the file's line for the data: a value as the loaded file set it,
    // in that dialect.
    void KeepFileText(std::string_view text, bool regedit4);

    std::u16string name;
    DWORD type = REG_NONE;
    bool changed = false;       // set since the load: fileText no longer says what it holds
    std::string_view fileText;  // the file's line(s) that last set it (in the tree's text), if any

private:
    mutable std::vector<uint8_t> data_;
    mutable bool decoded_ = true;
    bool regedit4_ = false;
};

class Key;

// A key's section of the loaded file: the lines that follow its "[...]" line
// up to the next key line, in the file's text.
struct Section {
    std::string_view body;       // line ends included
    Key* key = nullptr;
    Section* next = nullptr;     // the key's next section in the file
};

class Tree;

// Owns a key's values and the list of its children (the tree owns the keys);
// keys live as long as their tree, deleted or not, and a handle keeps the tree
// alive. Values are read from the sections when first asked for. As a Node it
// never fails but with ERROR_FILE_NOT_FOUND.
class Key : public Node {
public:
    Key(NameView name, Key* parent, Tree* tree) : name_(name), parent_(parent), tree_(tree) {}

    // Node: the registry functions' view of this key.
    LONG FindChild(std::u16string_view name, std::shared_ptr<Node>* child) override;
    LONG MakeChild(std::u16string_view name, std::shared_ptr<Node>* child, bool* created) override;
    LONG SubkeyCount(size_t* count) override;
    LONG LongestSubkeyName(size_t* length) override;
    LONG SubkeyName(size_t index, std::u16string* name) override;
    LONG ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) override;
    LONG WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data, bool* changed) override;
    LONG ValueShapes(std::vector<ValueShape>* shapes) override;
    LONG ValueNames(std::vector<std::u16string>* names) override;
    LONG DeleteChild(std::u16string_view name) override;
    bool IsDeleted() const override { return deleted_; }
    uintptr_t Identity() const override { return reinterpret_cast<uintptr_t>(this); }

    NameView Name() const { return name_; }
    Key* Parent() const { return parent_; }
    bool Deleted() const { return deleted_; }
    // Made after the file was loaded: the file's text does not hold it.
    bool CreatedByRun() const;
    std::u16string Path() const;

    Key* Child(std::u16string_view name) const;
    Key* Child(NameView name) const;
    // Gives the existing child of that name, or a new one; a new child's name
    // is kept by the tree unless it is ASCII text of the loaded file (keepName false).
    Key* AddChild(NameView name, bool* created = nullptr, bool keepName = true);
    Key* AddChild(std::u16string_view name, bool* created = nullptr) {
        return AddChild(NameView::Wide(name), created, true);
    }
    // Detaches the child and marks it and everything below it deleted.
    bool RemoveChild(Key* child);
    size_t ChildCount() const { return children_.size() - detached_; }
    // Children in enumeration order; index access is constant time.
    const std::vector<Key*>& OrderedChildren() const;
    size_t LongestChildName() const;

    Value* FindValue(std::u16string_view name);
    const Value* FindValue(std::u16string_view name) const;
    Value& SetValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data);
    const std::vector<Value>& Values() const;
    // Whether a value was set or removed since the file was loaded.
    bool ValuesEdited() const { return edited_; }

    // The key's sections of the loaded file, in file order.
    Section* FirstSection() const { return firstSection_; }
    void AddSection(Section* section);

    bool permanent = false;   // always present (HKLM\SOFTWARE\Classes and its parent)

private:
    friend class Tree;
    void MarkDeleted();
    std::vector<Value>& LoadedValues() const;
    // Drops the detached children from children_, keeping the order of the others.
    void DropDetached() const;

    NameView name_;
    Key* parent_;
    Tree* tree_;
    Section* firstSection_ = nullptr;
    mutable std::vector<Key*> children_;  // with detached ones until next asked for in order
    mutable std::unique_ptr<std::vector<Value>> values_;  // made when first asked for
    uint32_t index_ = 0;                  // in the tree's keys, plus one
    mutable uint32_t detached_ = 0;       // children_ entries removed by RemoveChild
    mutable uint32_t longest_ = 0;
    bool deleted_ = false;
    bool removed_ = false;  // detached from its parent by RemoveChild
    bool edited_ = false;
    mutable bool sorted_ = true;
    mutable bool longestValid_ = true;
};

// Owns every key, the loaded file's text and sections, and the names the
// text does not hold; finds a child by its parent and name in one hash lookup.
class Tree : public std::enable_shared_from_this<Tree> {
public:
    // Makes the roots: HKEY_LOCAL_MACHINE (with SOFTWARE\Classes, always
    // there on Windows), HKEY_USERS, HKEY_CURRENT_USER, HKEY_CURRENT_CONFIG.
    Tree();
    Key* machine = nullptr;
    Key* users = nullptr;
    Key* currentUser = nullptr;
    Key* currentConfig = nullptr;
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes, made again if it was deleted.
    Key* Classes();
    // The key a predefined root handle stands for, or null.
    Key* Root(HKEY root);
    // The root a path spells at its start (its length in *used), or null.
    Key* RootOfPath(std::u16string_view path, size_t* used);
    // The key of a full path such as "HKEY_CLASSES_ROOT\\A\\B", made on request.
    Key* KeyAtPath(std::u16string_view path, bool create);
    // The text's dialect: hex(1), hex(2) and hex(7) data is narrow (REGEDIT4).
    bool regedit4 = false;

    // The loaded file's text, as UTF-8: sections, names and unchanged values
    // refer into it rather than keeping copies.
    std::string text;
    std::deque<Section> sections;  // in file order; grows without moving what it holds
    // The backslash of a hex value's continuation that the file ends in, if
    // any: a line added after it would be read as more of that value.
    std::string_view openContinuation;

    Key* NewRoot(std::u16string_view name);
    // A pointer to the key that keeps the whole tree alive.
    std::shared_ptr<Key> Share(Key* key) { return std::shared_ptr<Key>(shared_from_this(), key); }
    // Children appended while loading are ordered once, when first enumerated.
    bool loading = false;
    // The keys that existed once the file was loaded: the first ones made.
    size_t keysAtLoad = 0;
    // Keys of the loaded file deleted since, each at the top of what went.
    std::vector<Key*> removedByRun;
    void MarkLoaded() { keysAtLoad = keys_.size(); }

private:
    friend class Key;
    // A slot of the table: a key's hash and its index in keys_ plus one (0: empty).
    struct Slot {
        uint32_t hash;
        uint32_t key;
    };
    // The slot hash of a child of that name of parent (null: a root).
    static uint32_t Hash(const Key* parent, NameView name);
    Key* Find(const Key* parent, NameView name) const;
    Key* Make(Key* parent, NameView name, bool keepName);
    void Forget(const Key* key);
    void Grow();

    Key* classes_ = nullptr;
    std::deque<Key> keys_;
    std::deque<std::u16string> names_;
    std::vector<Slot> slots_;  // open addressing, linear probing; a power of two in size
    size_t used_ = 0;
};

}  // namespace standin
