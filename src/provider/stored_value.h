// A registry value as it is stored: its type and bytes, or its absence.
// Reads the 32-bit view below HKEY_CLASSES_ROOT, as every key of the tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

struct StoredValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;  // as the registry keeps them (strings in UTF-16LE)
};

// The value of HKEY_CLASSES_ROOT\<key>; absent when the key or the value is
// missing or cannot be read.
StoredValue ReadStoredValue(const std::wstring& key, const std::wstring& name);
// Whether HKEY_CLASSES_ROOT\<key> exists (opens).
bool KeyExists(const std::wstring& key);
// A key path or value name as the registry compares it: without regard to case.
std::wstring FoldedName(std::wstring name);
// Whether a stored value is the REG_SZ that writing text stores.
bool HoldsText(const StoredValue& value, const std::wstring& text);
