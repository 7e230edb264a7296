#include "provider/appid_registration.h"

#include "provider/registry_text.h"
#include "registry/registry_key.h"

namespace {

const std::wstring kAppIdPrefix = L"AppID\\";

}  // namespace

std::wstring ReadClassAppId(HKEY classKey) {
    RegistryKey key;
    if (key.Open(classKey, L"") != ERROR_SUCCESS) return std::wstring();
    return ReadText(key, L"AppID");
}

LONG WriteClassAppId(HKEY classKey, const std::wstring& appId) {
    RegistryKey key;
    LONG status = key.Create(classKey, L"");
    if (status != ERROR_SUCCESS) return status;
    return key.SetString(L"AppID", appId);
}

std::wstring ReadDllSurrogate(const std::wstring& appId) {
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kAppIdPrefix + appId) != ERROR_SUCCESS) return std::wstring();
    return ReadText(key, L"DllSurrogate");
}

LONG WriteDllSurrogate(const std::wstring& appId, const std::wstring& hostPath) {
    RegistryKey key;
    LONG status = key.Create(HKEY_CLASSES_ROOT, kAppIdPrefix + appId);
    if (status != ERROR_SUCCESS) return status;
    return key.SetString(L"DllSurrogate", hostPath);
}

bool IsAppIdKeyComplete(const std::wstring& appId) {
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kAppIdPrefix + appId) != ERROR_SUCCESS) return false;
    std::wstring scratch;
    if (key.GetString(L"DllSurrogate", scratch) != ERROR_SUCCESS) return false;
    return key.GetString(L"AppID", scratch) == ERROR_SUCCESS;
}

LONG InitializeAppIdKey(const std::wstring& appId, const std::wstring& progId) {
    RegistryKey key;
    LONG status = key.Create(HKEY_CLASSES_ROOT, kAppIdPrefix + appId);
    if (status != ERROR_SUCCESS) return status;
    status = key.SetString(L"", progId);
    if (status != ERROR_SUCCESS) return status;
    status = key.SetString(L"AppID", appId);
    if (status != ERROR_SUCCESS) return status;
    return key.SetString(L"DllSurrogate", L"");
}

bool IsUsableAppId(const std::wstring& appId) {
    return appId.find_first_of(std::wstring(L"\\\0", 2)) == std::wstring::npos;
}
