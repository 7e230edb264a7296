// What the registry functions need of a key of a store: the seam between the
// Win32 registry API (win32/registry_api.cpp) and the stores behind it, the
// .reg file's tree (reg/) and an offline hive (hive/).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/win32_api.h"

namespace standin {

// One key of a store. Names are compared as the registry compares them
// (without regard to case) and kept with their case; value data is the bytes
// as Windows keeps them (UTF-16LE for strings). Every method returns a Win32
// status: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for what is not there, and
// ERROR_BADDB for what the store holds but cannot read (a damaged hive), so
// that damage is never taken for absence.
class Node {
public:
    virtual ~Node() = default;

    // The child of that name.
    virtual LONG FindChild(std::u16string_view name, std::shared_ptr<Node>* child) = 0;
    // The child of that name, created when missing (*created says whether).
    virtual LONG MakeChild(std::u16string_view name, std::shared_ptr<Node>* child, bool* created) = 0;
    virtual LONG SubkeyCount(size_t* count) = 0;
    virtual LONG LongestSubkeyName(size_t* length) = 0;
    // The name of the subkey at an enumeration index; ERROR_NO_MORE_ITEMS past the end.
    virtual LONG SubkeyName(size_t index, std::u16string* name) = 0;

    // The value of that name ("" is the default value).
    virtual LONG ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) = 0;
    // Creates or replaces a value; *changed is false when it held that type
    // and those bytes already, which is no change to the store.
    virtual LONG WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data, bool* changed) = 0;
    struct ValueShape {
        size_t nameLength;  // in UTF-16 code units
        DWORD type;
        size_t bytes;
    };
    // Every value's name length, type and size, in the store's order.
    virtual LONG ValueShapes(std::vector<ValueShape>* shapes) = 0;
    // Every value's name, in the store's order.
    virtual LONG ValueNames(std::vector<std::u16string>* names) = 0;

    // Deletes the child of that name with everything below it; a handle
    // still open on any of them then answers ERROR_KEY_DELETED.
    virtual LONG DeleteChild(std::u16string_view name) = 0;
    // Whether the key was deleted after it was opened.
    virtual bool IsDeleted() const = 0;
    // What names this key in its store for as long as the store lives: two
    // nodes of one key have the same identity.
    virtual uintptr_t Identity() const = 0;
};

}  // namespace standin
