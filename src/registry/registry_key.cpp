#include "registry/registry_key.h"

#include <algorithm>
#include <vector>

namespace {

// Reads that find the value grew since it was sized are retried this often.
constexpr int kReadAttempts = 4;

bool IsPredefinedRoot(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS || key == HKEY_PERFORMANCE_DATA || key == HKEY_CURRENT_CONFIG ||
           key == HKEY_CURRENT_USER_LOCAL_SETTINGS || key == HKEY_PERFORMANCE_TEXT ||
           key == HKEY_PERFORMANCE_NLSTEXT;
}

}  // namespace

RegistryKey::RegistryKey(bool use64BitView) : use64BitView(use64BitView) {}

RegistryKey::~RegistryKey() {
    Close();
}

REGSAM RegistryKey::ViewFlag() const {
    return use64BitView ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

LONG RegistryKey::Open(HKEY parent, const std::wstring& subKey) {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_READ | ViewFlag(), &opened);
    if (status != ERROR_SUCCESS) return status;
    Close();
    handle = opened;
    return ERROR_SUCCESS;
}

LONG RegistryKey::Create(HKEY parent, const std::wstring& subKey) {
    HKEY created = nullptr;
    LONG status = RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE | ViewFlag(), nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return status;
    Close();
    handle = created;
    return ERROR_SUCCESS;
}

LONG RegistryKey::GetString(const std::wstring& name, std::wstring& value) const {
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD bytes = 0;
        status = RegGetValueW(handle, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        if (status != ERROR_SUCCESS) return status;
        // Room for every byte reported, rounded up to whole characters, and
        // for a terminator that the platform may add after them.
        std::vector<wchar_t> scratch(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD stored = bytes;
        status = RegGetValueW(handle, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, scratch.data(),
                              &stored);
        if (status != ERROR_SUCCESS) continue;
        size_t length = std::min<size_t>(stored / sizeof(wchar_t), scratch.size());
        if (length > 0 && scratch[length - 1] == L'\0') --length;
        value.assign(scratch.data(), length);
        return ERROR_SUCCESS;
    }
    return status;
}

LONG RegistryKey::SetString(const std::wstring& name, const std::wstring& value) {
    auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(handle, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

void RegistryKey::Close() {
    if (!handle) return;
    if (!IsPredefinedRoot(handle)) RegCloseKey(handle);
    handle = nullptr;
}
