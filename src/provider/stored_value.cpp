#include "provider/stored_value.h"


#include <cwctype>

#include "registry/registry_key.h"

namespace {

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
}

// The registry keeps strings in UTF-16, and the registry functions hand them
// out in the caller's WCHARs: where those are wider than 16 bits, each WCHAR
// narrows back to its code unit (and a half WCHAR to the odd byte it holds).
std::vector<uint8_t> AsStored(std::vector<uint8_t> bytes, DWORD type) {
    constexpr size_t kUnit = sizeof(wchar_t);
    if (kUnit == 2 || !IsStringType(type)) return bytes;
    std::vector<uint8_t> stored;
    size_t i = 0;
    for (; i + kUnit <= bytes.size(); i += kUnit) {
        stored.push_back(bytes[i]);
        stored.push_back(bytes[i + 1]);
    }
    if (i < bytes.size()) stored.push_back(bytes[i]);
    return stored;
}

}  // namespace

StoredValue ReadStoredValue(const std::wstring& key, const std::wstring& name) {
    StoredValue value;
    RegistryKey opened;
    if (opened.Open(HKEY_CLASSES_ROOT, key) != ERROR_SUCCESS) return value;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = REG_NONE, bytes = 0;
        if (RegQueryValueExW(opened.Handle(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            return value;
        std::vector<uint8_t> data(bytes);
        LONG status = RegQueryValueExW(opened.Handle(), name.c_str(), nullptr, &type, data.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;  // grew in between
        if (status != ERROR_SUCCESS) return value;
        data.resize(bytes);
        value.exists = true;
        value.type = type;
        value.bytes = AsStored(std::move(data), type);
        return value;
    }
    return value;
}

bool KeyExists(const std::wstring& key) {
    RegistryKey opened;
    return opened.Open(HKEY_CLASSES_ROOT, key) == ERROR_SUCCESS;
}

std::wstring FoldedName(std::wstring name) {
    for (auto& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return name;
}

bool HoldsText(const StoredValue& value, const std::wstring& text) {
    if (!value.exists || value.type != REG_SZ || value.bytes.size() != (text.size() + 1) * 2) return false;
    for (size_t i = 0; i <= text.size(); ++i) {
        unsigned unit = i < text.size() ? static_cast<unsigned>(text[i]) & 0xFFFF : 0;
        if (value.bytes[2 * i] != (unit & 0xFF) || value.bytes[2 * i + 1] != (unit >> 8)) return false;
    }
    return true;
}
