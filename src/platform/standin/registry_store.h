// What the registry functions need of a store of keys and values: the seam
// between the Win32 registry API (registry_api.cpp) and the stores behind it,
// the .reg file's tree (registry_tree.h) and an offline hive (hive_store.h).
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
// as Windows keeps them (UTF-16LE for strings).
class Node {
public:
    virtual ~Node() = default;

    // The child of that name, or null.
    virtual std::shared_ptr<Node> FindChild(std::u16string_view name) = 0;
    // The child of that name, created when missing; null when the store cannot.
    virtual std::shared_ptr<Node> MakeChild(std::u16string_view name) = 0;
    virtual size_t SubkeyCount() = 0;
    virtual size_t LongestSubkeyName() = 0;
    // The name of the subkey at an enumeration index; false past the end.
    virtual bool SubkeyName(size_t index, std::u16string* name) = 0;

    // The value of that name ("" is the default value); false when there is none.
    virtual bool ReadValue(std::u16string_view name, DWORD* type, std::vector<uint8_t>* data) = 0;
    // Creates or replaces a value; false when the store cannot.
    virtual bool WriteValue(std::u16string_view name, DWORD type, std::vector<uint8_t> data) = 0;
    struct ValueShape {
        size_t nameLength;  // in UTF-16 code units
        DWORD type;
        size_t bytes;
    };
    // Every value's name, type and size, in the store's order.
    virtual std::vector<ValueShape> ValueShapes() = 0;

    // A key deleted after it was opened answers ERROR_KEY_DELETED.
    virtual bool IsDeleted() const { return false; }
    // Access that the key's security denies to everyone (tests set it).
    virtual bool DeniesRead() const { return false; }
    virtual bool DeniesWrite() const { return false; }
};

}  // namespace standin
