// HKEY_CLASSES_ROOT as Windows shows it when the user has classes of their
// own: HKLM\SOFTWARE\Classes merged with HKCU\Software\Classes. A key that
// the user has is the user's (its values and subkeys); subkeys of the root,
// of Wow6432Node and of CLSID, AppID, Interface and TypeLib below either are
// the union of both, the user's where a name is in both; a key created
// through the view is made under HKLM\SOFTWARE\Classes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/standin/reg/key_tree.h"

namespace standin {

// Owns nothing but a share of the tree; fails only as its keys fail
// (ERROR_FILE_NOT_FOUND).
class MergedClasses : public Node, public std::enable_shared_from_this<MergedClasses> {
public:
    // The view of the classes root; null when the user has no classes (the
    // machine's classes key is then the whole view).
    static std::shared_ptr<Node> Root(const std::shared_ptr<Tree>& tree);

    // user and machine may each be null (not both); parent and name say where
    // the machine's key is made when a child is created through this one.
    MergedClasses(std::shared_ptr<Tree> tree, Key* user, Key* machine, std::shared_ptr<MergedClasses> parent,
                  std::u16string name, bool root);

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
    bool IsDeleted() const override;
    uintptr_t Identity() const override;

private:
    // The key whose values and identity the view shows: the user's if any.
    Key* Winner() const;
    // The machine's key, made if it is missing.
    Key* MachineKey();
    // The union of both keys' children, in Wine's order; remade when either changed.
    const std::vector<NameView>& Names() const;

    std::shared_ptr<Tree> tree_;
    Key* user_;
    Key* machine_;
    std::shared_ptr<MergedClasses> parent_;
    std::u16string name_;
    bool root_;  // the classes root or its Wow6432Node: CLSID, AppID, Interface, TypeLib merge below
    mutable std::vector<NameView> names_;
    mutable size_t namesFor_[2] = {SIZE_MAX, SIZE_MAX};
};

}  // namespace standin
