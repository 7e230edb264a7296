// Test helper: creates HKEY_CLASSES_ROOT\<subkey> in the 32-bit view and
// denies everyone the right to set its values or create subkeys below it.
#include <windows.h>
#include <aclapi.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: deny_write <subkey of HKEY_CLASSES_ROOT>\n");
        return 2;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, argv[1], 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 3;
    EXPLICIT_ACCESSW access[2] = {};
    access[0].grfAccessPermissions = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
    access[0].grfAccessMode = DENY_ACCESS;
    access[1].grfAccessPermissions = KEY_ALL_ACCESS;
    access[1].grfAccessMode = GRANT_ACCESS;
    for (auto& a : access) {
        a.grfInheritance = NO_INHERITANCE;
        a.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        a.Trustee.ptstrName = const_cast<LPWSTR>(L"EVERYONE");
    }
    PACL acl = nullptr;
    if (SetEntriesInAclW(2, access, nullptr, &acl) != ERROR_SUCCESS) return 3;
    DWORD status = SetSecurityInfo(key, SE_REGISTRY_KEY,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 3;
}
