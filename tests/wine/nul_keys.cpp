// Test fixture: class keys whose names hold a NUL, which only the native API
// can make (a Win32 path ends at its first NUL). Under the 32-bit view's
// HKEY_CLASSES_ROOT\CLSID it makes, or with "delete" removes, a key whose
// name begins with a NUL and one whose name is an existing class's followed
// by a NUL and more, each with a "QIV Provider" subkey.
// Usage: nul_keys <existing class> [delete]
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>

extern "C" NTSTATUS NTAPI NtCreateKey(PHANDLE key, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                      ULONG index, PUNICODE_STRING keyClass, ULONG options, PULONG disposition);
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

// The key of that counted name below parent, created when missing; null on failure.
HANDLE MakeKey(HANDLE parent, const std::wstring& name) {
    UNICODE_STRING counted;
    counted.Buffer = const_cast<wchar_t*>(name.data());
    counted.Length = counted.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, parent, nullptr);
    HANDLE key = nullptr;
    NTSTATUS status = NtCreateKey(&key, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &attributes, 0, nullptr, 0, nullptr);
    if (status < 0) {
        std::fprintf(stderr, "NtCreateKey failed: 0x%08lx\n", static_cast<unsigned long>(status));
        return nullptr;
    }
    return key;
}

bool MakeProvider(HANDLE classes, const std::wstring& name, bool remove) {
    HANDLE key = MakeKey(classes, name);
    if (!key) return false;
    HANDLE marker = MakeKey(key, L"QIV Provider");
    bool ok = marker != nullptr;
    if (remove) ok = ok && NtDeleteKey(marker) >= 0 && NtDeleteKey(key) >= 0;
    if (marker) CloseHandle(marker);
    CloseHandle(key);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: nul_keys <existing class> [delete]\n");
        return 2;
    }
    bool remove = argc > 2 && std::wcscmp(argv[2], L"delete") == 0;
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &classes) != ERROR_SUCCESS)
        return 1;
    std::wstring lead(1, L'\0');
    lead += L"lead";
    std::wstring inside = argv[1];
    inside += L'\0';
    inside += L" 3";
    bool ok = MakeProvider(classes, lead, remove) && MakeProvider(classes, inside, remove);
    RegCloseKey(classes);
    return ok ? 0 : 1;
}
