// The stand-in's registry: a tree of keys, each with its values. Names are
// compared without regard to case and kept with their case; subkeys are
// enumerated in the order Wine uses (lower-cased names, code unit order).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/registry_store.h"
#include "platform/standin/win32_api.h"

namespace standin {

struct NameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
};

class Value {
public:
    Value(std::u16string name, DWORD type, std::vector<uint8_t> data)
        : name(std::move(name)), type(type), data_(std::move(data)) {}

    // The bytes as Windows keeps them (UTF-16LE for strings). A value as the
    // file set it keeps only its line and is decoded when first asked for.
    const std::vector<uint8_t>& Data() const;
    void SetData(std::vector<uint8_t> data);
    // Keeps the file's line for the data: what the loader does once a line is parsed.
    void KeepFileText(std::string_view text);

    std::u16string name;
    DWORD type = REG_NONE;
    bool changed = false;       // differs from what the loaded file said
    std::string_view fileText;  // the file's line(s) that last set it, while unchanged (in State::text)

private:
    mutable std::vector<uint8_t> data_;
    mutable bool decoded_ = true;
};

class Key : public Node {
public:
    explicit Key(std::u16string name, Key* parent = nullptr);

    // Node: the registry functions' view of this key.
    std::shared_ptr<Node> FindChild(std::u16string_view name) override { return ChildPointer(name); }
    std::shared_ptr<Node> MakeChild(std::u16string_view name) override;
    size_t SubkeyCount() override { return ChildCount(); }
    size_t LongestSubkeyName() override { return LongestChildName(); }
    bool SubkeyName(size_t index, std::u16string* name) override;
    bool ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) override;
    bool WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) override;
    std::vector<ValueShape> ValueShapes() override;
    bool IsDeleted() const override { return deleted_; }
    bool DeniesRead() const override { return denyRead; }
    bool DeniesWrite() const override { return denyWrite; }

    const std::u16string& Name() const { return name_; }
    Key* Parent() const { return parent_; }
    bool Deleted() const { return deleted_; }
    std::u16string Path() const;

    Key* Child(std::u16string_view name) const;
    // Gives the existing child of that name, or a new one.
    Key* AddChild(std::u16string_view name, bool* created = nullptr);
    const std::shared_ptr<Key>& AddChildPointer(std::u16string_view name, bool* created = nullptr);
    std::shared_ptr<Key> ChildPointer(std::u16string_view name) const;
    // Detaches the child and marks it and everything below it deleted.
    bool RemoveChild(std::u16string_view name);
    size_t ChildCount() const { return children_.size(); }
    // Children in enumeration order; index access is constant time.
    const std::vector<Key*>& OrderedChildren() const;
    size_t LongestChildName() const;

    Value* FindValue(std::u16string_view name);
    const Value* FindValue(std::u16string_view name) const;
    Value& SetValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data);
    bool RemoveValue(std::u16string_view name);
    const std::vector<Value>& Values() const { return values_; }
    std::vector<Value>& MutableValues() { return values_; }

    bool denyRead = false;
    bool denyWrite = false;
    bool inFile = false;      // the loaded file has a section for this key
    bool implicit = false;    // created by the loader only as an ancestor of such a key
    bool permanent = false;   // always present (HKLM\SOFTWARE\Classes and its parent)

private:
    void MarkDeleted();

    std::u16string name_;
    Key* parent_;
    bool deleted_ = false;
    // Keyed by a view of each child's own name, which never changes.
    std::map<std::u16string_view, std::shared_ptr<Key>, NameLess> children_;
    std::vector<Value> values_;
    mutable std::vector<Key*> order_;
    mutable bool orderValid_ = false;
    mutable size_t longest_ = 0;
};

}  // namespace standin
