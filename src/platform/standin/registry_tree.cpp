#include "platform/standin/registry_tree.h"

#include <algorithm>

#include "platform/standin/reg_file.h"
#include "platform/standin/text_codec.h"

namespace standin {

bool NameLess::operator()(std::u16string_view a, std::u16string_view b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        char16_t x = FoldCase(a[i]);
        char16_t y = FoldCase(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

Key::Key(std::u16string name, Key* parent) : name_(std::move(name)), parent_(parent) {}

std::u16string Key::Path() const {
    if (!parent_) return name_;
    std::u16string path = parent_->Path();
    path += u'\\';
    path += name_;
    return path;
}

Key* Key::Child(std::u16string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
}

std::shared_ptr<Key> Key::ChildPointer(std::u16string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second;
}

Key* Key::AddChild(std::u16string_view name, bool* created) {
    return AddChildPointer(name, created).get();
}

const std::shared_ptr<Key>& Key::AddChildPointer(std::u16string_view name, bool* created) {
    // One descent of the tree, whether the child is found or made.
    auto it = children_.lower_bound(name);
    if (it != children_.end() && !NameLess()(name, it->first)) {
        if (created) *created = false;
        return it->second;
    }
    auto child = std::make_shared<Key>(std::u16string(name), this);
    std::u16string_view own = child->Name();
    it = children_.emplace_hint(it, own, std::move(child));
    orderValid_ = false;
    if (created) *created = true;
    return it->second;
}

bool Key::RemoveChild(std::u16string_view name) {
    auto it = children_.find(name);
    if (it == children_.end()) return false;
    it->second->MarkDeleted();
    children_.erase(it);
    orderValid_ = false;
    return true;
}

void Key::MarkDeleted() {
    deleted_ = true;
    for (auto& [name, child] : children_) child->MarkDeleted();
}

const std::vector<Key*>& Key::OrderedChildren() const {
    if (!orderValid_) {
        order_.clear();
        order_.reserve(children_.size());
        longest_ = 0;
        for (const auto& [name, child] : children_) {
            order_.push_back(child.get());
            longest_ = std::max(longest_, name.size());
        }
        orderValid_ = true;
    }
    return order_;
}

size_t Key::LongestChildName() const {
    OrderedChildren();
    return longest_;
}

Value* Key::FindValue(std::u16string_view name) {
    for (auto& v : values_)
        if (EqualsFolded(v.name, name)) return &v;
    return nullptr;
}

const Value* Key::FindValue(std::u16string_view name) const {
    for (const auto& v : values_)
        if (EqualsFolded(v.name, name)) return &v;
    return nullptr;
}

Value& Key::SetValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
    Value* v = FindValue(name);
    if (!v) {
        Value made(std::u16string(name.begin(), name.end()), type, {});
        values_.push_back(std::move(made));
        v = &values_.back();
    }
    v->type = type;
    v->SetData(std::move(data));
    v->changed = true;
    v->fileText = {};
    return *v;
}

const std::vector<uint8_t>& Value::Data() const {
    if (!decoded_) {
        DecodeValueText(fileText, &data_);
        decoded_ = true;
    }
    return data_;
}

void Value::SetData(std::vector<uint8_t> data) {
    data_ = std::move(data);
    decoded_ = true;
}

void Value::KeepFileText(std::string_view text) {
    fileText = text;
    changed = false;
    data_ = std::vector<uint8_t>();
    decoded_ = false;
}

bool Key::RemoveValue(std::u16string_view name) {
    for (auto it = values_.begin(); it != values_.end(); ++it) {
        if (EqualsFolded(it->name, name)) {
            values_.erase(it);
            return true;
        }
    }
    return false;
}

std::shared_ptr<Node> Key::MakeChild(std::u16string_view name) {
    return AddChildPointer(name);
}

bool Key::SubkeyName(size_t index, std::u16string* name) {
    const auto& children = OrderedChildren();
    if (index >= children.size()) return false;
    *name = children[index]->Name();
    return true;
}

bool Key::ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) {
    const Value* value = FindValue(name);
    if (!value) return false;
    *type = value->type;
    *data = value->Data();
    return true;
}

bool Key::WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
    SetValue(name, type, std::move(data));
    return true;
}

std::vector<Node::ValueShape> Key::ValueShapes() {
    std::vector<ValueShape> shapes;
    shapes.reserve(values_.size());
    for (const Value& v : values_) shapes.push_back(ValueShape{v.name.size(), v.type, v.Data().size()});
    return shapes;
}

}  // namespace standin
