// The stand-in's registry functions behave as Wine's do (the Wine tests check
// the same cases against the real implementation).
#include "platform/platform.h"
#include "test_support.h"

namespace {

class StandinRegistryTest : public test::StandinTest {
protected:
    HKEY Open(const wchar_t* path, REGSAM sam = KEY_READ | KEY_WOW64_32KEY) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, sam, &key), ERROR_SUCCESS) << path;
        return key;
    }
};

TEST_F(StandinRegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    standin::PutKey(L"HKCR\\AppID\\MixedCase");
    HKEY key = Open(L"appid\\MIXEDCASE");
    RegCloseKey(key);
    EXPECT_EQ(standin::SubkeyNames(L"HKCR\\AppID"), std::vector<std::wstring>{L"MixedCase"});
}

TEST_F(StandinRegistryTest, SubkeysEnumerateInWinesOrder) {
    for (auto n : {L"b", L"A", L"c", L"B2", L"a1", L"_x", L"[y", L"~z", L"Z"})
        standin::PutKey(std::wstring(L"HKCR\\AppID\\p\\") + n);
    EXPECT_EQ(standin::SubkeyNames(L"HKCR\\AppID\\p"),
              (std::vector<std::wstring>{L"[y", L"_x", L"A", L"a1", L"b", L"B2", L"c", L"Z", L"~z"}));
}

TEST_F(StandinRegistryTest, ThirtyTwoBitViewRedirectsOnlyClsidAndInterface) {
    standin::PutKey(L"HKCR\\Wow6432Node\\CLSID\\{X}");
    standin::PutKey(L"HKCR\\AppID\\{Y}");
    HKEY a = Open(L"CLSID\\{X}");
    HKEY b = Open(L"AppID\\{Y}");
    HKEY c = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{X}", 0, KEY_READ | KEY_WOW64_64KEY, &c),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(a);
    RegCloseKey(b);
}

TEST_F(StandinRegistryTest, Wow6432NodeThatCannotBeReadFailsTheViewInsteadOfFallingToThe64BitKey) {
    standin::PutKey(L"HKCR\\Wow6432Node\\CLSID\\{X}");
    standin::PutKey(L"HKCR\\CLSID\\{X}");
    HKEY key = nullptr;
    standin::FailCall("Wow6432Node", 1, ERROR_BADDB);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{X}", 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_BADDB);
    standin::FailCall("Wow6432Node", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{Y}", 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_32KEY,
                              nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(standin::KeyExists(L"HKCR\\CLSID\\{Y}"));
}

TEST_F(StandinRegistryTest, EmptyNameOpenOfARootIsTheRootButCreateIsANewHandle) {
    HKEY opened = nullptr, created = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"", 0, KEY_READ | KEY_WOW64_32KEY, &opened), 0);
    EXPECT_EQ(opened, HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              &created, nullptr), 0);
    EXPECT_NE(created, HKEY_CLASSES_ROOT);
    RegCloseKey(created);
}

TEST_F(StandinRegistryTest, CloseOfNullIsInvalidHandleAndOfARootSucceeds) {
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    HKEY key = Open(L"");
    (void)key;
    HKEY real = nullptr;
    standin::PutKey(L"HKCR\\AppID");
    real = Open(L"AppID");
    EXPECT_EQ(RegCloseKey(real), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(real), ERROR_INVALID_HANDLE);
}

TEST_F(StandinRegistryTest, DoubleSeparatorDoesNotOpen) {
    standin::PutKey(L"HKCR\\Wow6432Node\\CLSID\\QIV Provider");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\\\QIV Provider", 0,
                            KEY_READ | KEY_WOW64_32KEY, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(StandinRegistryTest, SizesOfStringsFollowWine) {
    standin::PutKey(L"HKCR\\AppID\\s");
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L"AppID\\s", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const wchar_t abc[] = L"abc";
    RegSetValueExW(key, L"forgot", 0, REG_SZ, reinterpret_cast<const BYTE*>(abc), 3 * sizeof(wchar_t));
    EXPECT_EQ(standin::GetValue(L"HKCR\\AppID\\s", L"forgot")->bytes.size(), 8u);  // NUL counted in
    standin::PutValue(L"HKCR\\AppID\\s", L"zero", REG_SZ, {});
    DWORD size = 99;
    EXPECT_EQ(RegGetValueW(key, nullptr, L"zero", RRF_RT_REG_SZ, nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 0u);
    DWORD word = 7;
    RegSetValueExW(key, L"d", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), 4);
    EXPECT_EQ(RegGetValueW(key, nullptr, L"d", RRF_RT_REG_SZ, nullptr, nullptr, &size),
              ERROR_UNSUPPORTED_TYPE);
    wchar_t small[1];
    size = sizeof small;
    EXPECT_EQ(RegGetValueW(key, nullptr, L"forgot", RRF_RT_REG_SZ, nullptr, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4 * sizeof(wchar_t));
    RegCloseKey(key);
}

TEST_F(StandinRegistryTest, HandleOfADeletedKeyGivesKeyDeleted) {
    standin::PutKey(L"HKCR\\AppID\\gone");
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, L"AppID\\gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    standin::DeleteKey(L"HKCR\\AppID\\gone");
    DWORD size = 0;
    HKEY sub = nullptr;
    EXPECT_EQ(RegGetValueW(key, nullptr, L"x", RRF_RT_REG_SZ, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExW(key, L"x", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 4), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExW(key, L"", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(StandinRegistryTest, DeniedAccessIsRefusedAtOpen) {
    standin::PutKey(L"HKCR\\AppID\\locked");
    standin::DenyAccess(L"HKCR\\AppID\\locked", false, true);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"AppID\\locked", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"AppID\\locked\\new", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    key = Open(L"AppID\\locked");
    RegCloseKey(key);
}

TEST_F(StandinRegistryTest, EnumerationPastTheEndAndIntoAShortBuffer) {
    standin::PutKey(L"HKCR\\AppID\\p\\long-name");
    HKEY key = Open(L"AppID\\p");
    wchar_t name[4];
    DWORD chars = 4;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    chars = 4;
    EXPECT_EQ(RegEnumKeyExW(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

}  // namespace
