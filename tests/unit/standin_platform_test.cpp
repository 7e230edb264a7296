// The stand-in's COM, security and process functions.
#include "platform/platform.h"
#include "test_support.h"

namespace {

class StandinPlatformTest : public test::StandinTest {};

TEST_F(StandinPlatformTest, ProgIdResolvesThroughItsClsidKeyIgnoringCase) {
    standin::PutString(L"HKCR\\Talvek.Alpha\\CLSID", L"", L"{5e1c7a10-3b2d-4c8e-9f01-00000000a1fa}");
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"talvek.ALPHA", &clsid), S_OK);
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(clsid, &text), S_OK);
    EXPECT_EQ(std::wstring(text), L"{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}");
    CoTaskMemFree(text);
}

TEST_F(StandinPlatformTest, UnresolvableProgIdsAreClassStringErrors) {
    standin::PutString(L"HKCR\\Bad.Guid\\CLSID", L"", L"{not-a-guid}");
    standin::PutKey(L"HKCR\\No.Clsid");
    CLSID clsid;
    for (auto id : {L"", L"Missing.Id", L"Bad.Guid", L"No.Clsid", L"{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}"})
        EXPECT_EQ(CLSIDFromProgID(id, &clsid), CO_E_CLASSSTRING) << id;
}

TEST_F(StandinPlatformTest, AdministratorsMembershipFollowsTheToken) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &sid));
    BOOL member = TRUE;
    standin::SetAdministrator(false);
    EXPECT_TRUE(CheckTokenMembership(nullptr, sid, &member));
    EXPECT_FALSE(member);
    standin::SetAdministrator(true);
    EXPECT_TRUE(CheckTokenMembership(nullptr, sid, &member));
    EXPECT_TRUE(member);
    FreeSid(sid);
}

TEST_F(StandinPlatformTest, CurrentDirectoryUsesWindowsSizeProtocol) {
    standin::SetCurrentDirectoryOverride(L"Z:\\work");
    wchar_t buffer[8];
    EXPECT_EQ(GetCurrentDirectoryW(0, nullptr), 8u);
    EXPECT_EQ(GetCurrentDirectoryW(7, buffer), 8u);
    EXPECT_EQ(GetCurrentDirectoryW(8, buffer), 7u);
    EXPECT_EQ(std::wstring(buffer), L"Z:\\work");
}

TEST_F(StandinPlatformTest, HostDirectoryIsDriveZWithBackslashes) {
    wchar_t buffer[4096];
    ASSERT_GT(GetCurrentDirectoryW(4096, buffer), 2u);
    EXPECT_EQ(std::wstring(buffer).substr(0, 3), L"Z:\\");
    EXPECT_EQ(std::wstring(buffer).find(L'/'), std::wstring::npos);
    EXPECT_EQ(GetFileAttributesW(buffer), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW((std::wstring(L"\\\\?\\") + buffer).c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(L"Z:\\no\\such\\file"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StandinPlatformTest, ConversionsFollowTheDefaultLocale) {
    wchar_t wide[8];
    size_t n = 0;
    mbstowcs_s(&n, wide, 8, "a\xE9", _TRUNCATE);
    EXPECT_EQ(std::wstring(wide), L"a\u00e9");
    char narrow[8];
    wcstombs_s(&n, narrow, 8, L"a\u30c4", _TRUNCATE);
    EXPECT_EQ(std::string(narrow), "");
}

}  // namespace
