// RegistryKey and EnumerateSubkeys against Wine's registry: the cases of the
// unit tests that Wine can express, and the platform facts the stand-in copies.
#include <cstdio>
#include <string>
#include <vector>

#include "registry/registry_key.h"
#include "registry/subkey_enumerator.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
}

const std::wstring kBase = L"AppID\\VandrelRegistryProbe";

HKEY Writable(const std::wstring& sub) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, (kBase + sub).c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    return key;
}

void SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

DWORD StoredBytes(HKEY key, const wchar_t* name) {
    DWORD bytes = 0;
    RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &bytes);
    return bytes;
}

bool Counting(HKEY, const std::wstring&, void* context) {
    ++*static_cast<int*>(context);
    return false;
}

bool DeleteLaterOnes(HKEY key, const std::wstring& name, void*) {
    if (name == L"a1") {
        RegDeleteKeyW(key, L"b");
        RegDeleteKeyW(key, L"B2");
    }
    return true;
}

}  // namespace

int main() {
    HKEY values = Writable(L"");
    SetRaw(values, L"zero", REG_SZ, L"", 0);
    SetRaw(values, L"", REG_SZ, L"", 2);
    SetRaw(values, L"one", REG_SZ, "a", 1);
    SetRaw(values, L"odd", REG_SZ, "a\0b\0c\0d", 7);
    SetRaw(values, L"nul", REG_SZ, L"ab\0cd", 12);
    DWORD word = 7;
    SetRaw(values, L"word", REG_DWORD, &word, 4);

    RegistryKey key;
    Check(key.Open(HKEY_CLASSES_ROOT, kBase) == ERROR_SUCCESS, "Open in the 32-bit view");
    std::wstring v = L"old";
    Check(key.GetString(L"zero", v) == ERROR_SUCCESS && v.empty(), "a REG_SZ of 0 bytes reads empty");
    v = L"old";
    Check(key.GetString(L"", v) == ERROR_SUCCESS && v.empty(), "an empty default value reads empty");
    v = L"old";
    Check(key.GetString(L"one", v) == ERROR_SUCCESS && v.empty(), "a REG_SZ of 1 byte reads empty");
    Check(key.GetString(L"odd", v) == ERROR_SUCCESS && v == L"abc", "an odd-sized REG_SZ keeps its whole characters");
    Check(key.GetString(L"nul", v) == ERROR_SUCCESS && v == std::wstring(L"ab\0cd", 5), "a NUL inside the data is kept");
    v = L"kept";
    Check(key.GetString(L"word", v) == ERROR_UNSUPPORTED_TYPE && v == L"kept", "a REG_DWORD is 1630, output untouched");
    Check(key.GetString(L"missing", v) == ERROR_FILE_NOT_FOUND && v == L"kept", "a missing value is 2, output untouched");
    Check(key.SetString(L"x", L"y") == ERROR_ACCESS_DENIED, "SetString through Open is access denied");
    HKEY held = key.Handle();
    Check(key.Open(HKEY_CLASSES_ROOT, kBase + L"\\missing") == ERROR_FILE_NOT_FOUND && key.Handle() == held,
          "a failed Open keeps the key held before");

    RegistryKey writer;
    Check(writer.Create(HKEY_CLASSES_ROOT, kBase) == ERROR_SUCCESS, "Create opens for writing");
    writer.SetString(L"empty", L"");
    writer.SetString(L"clsid", L"{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}");
    Check(StoredBytes(values, L"empty") == 2, "SetString of an empty text stores 2 bytes");
    Check(StoredBytes(values, L"clsid") == 78, "SetString of a CLSID string stores 78 bytes");

    // The facts the stand-in reproduces.
    DWORD size = 99;
    Check(RegGetValueW(values, nullptr, L"zero", RRF_RT_REG_SZ, nullptr, nullptr, &size) == 0 && size == 0,
          "RegGetValueW sizes a 0-byte REG_SZ as 0");
    SetRaw(values, L"forgot", REG_SZ, L"abc", 6);
    Check(StoredBytes(values, L"forgot") == 8, "a REG_SZ written without its NUL gets it counted");
    Check(RegCloseKey(nullptr) == ERROR_INVALID_HANDLE, "RegCloseKey(NULL) is 6");
    Check(RegCloseKey(HKEY_CLASSES_ROOT) == ERROR_SUCCESS, "RegCloseKey of a root is 0");
    RegistryKey root;
    Check(root.Open(HKEY_CLASSES_ROOT, L"") == ERROR_SUCCESS && root.Handle() == HKEY_CLASSES_ROOT,
          "the empty name under the root opens the root itself");
    root.Close();
    RegistryKey again;
    Check(again.Open(HKEY_CLASSES_ROOT, kBase) == ERROR_SUCCESS, "the root still works after that Close");
    RegistryKey self;
    Check(self.Open(again.Handle(), L"") == ERROR_SUCCESS && self.Handle() != again.Handle(),
          "the empty name under an ordinary key is a second handle");

    // Enumeration.
    for (auto name : {L"\\e\\b", L"\\e\\A", L"\\e\\c", L"\\e\\B2", L"\\e\\a1"}) RegCloseKey(Writable(name));
    RegistryKey parent;
    parent.Open(HKEY_CLASSES_ROOT, kBase + L"\\e");
    Check(EnumerateSubkeys(parent, nullptr, nullptr) == std::vector<std::wstring>{L"A", L"a1", L"b", L"B2", L"c"},
          "subkeys enumerate as A, a1, b, B2, c");
    int calls = 0;
    Check(EnumerateSubkeys(parent, Counting, &calls).empty() && calls == 5, "a filter keeping nothing is called per subkey");
    Check(EnumerateSubkeys(parent, DeleteLaterOnes, nullptr) == std::vector<std::wstring>{L"A", L"a1", L"c"},
          "subkeys deleted during the sweep are skipped");
    RegistryKey none;
    none.Open(HKEY_CLASSES_ROOT, kBase + L"\\missing");
    Check(EnumerateSubkeys(none, nullptr, nullptr).empty(), "a wrapper holding no key yields nothing");

    parent.Close();
    RegCloseKey(values);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kBase.c_str());
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
