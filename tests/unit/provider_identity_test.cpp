#include "provider/provider_identity.h"

#include "registry/registry_key.h"
#include "test_support.h"

namespace {

using namespace test;

class ProviderIdentityTest : public test::StandinTest {};

TEST_F(ProviderIdentityTest, ProgIdResolvesToUpperCaseClsidString) {
    standin::PutString(L"HKCR\\Talvek.Alpha\\CLSID", L"", L"{5e1c7a10-3b2d-4c8e-9f01-00000000a1fa}");
    EXPECT_EQ(ProgIdToClsidString(L"Talvek.Alpha"), kA);
}

TEST_F(ProviderIdentityTest, UnregisteredProgIdGivesEmptyAndEmptyIsNoProvider) {
    EXPECT_EQ(ProgIdToClsidString(L"No.Such"), L"");
    standin::PutKey(kClsid32 + L"QIV Provider");  // "CLSID\" + "" + "\QIV Provider" must not find this
    EXPECT_FALSE(IsProviderClass(L""));
}

TEST_F(ProviderIdentityTest, MarkerKeyMakesAProvider) {
    test::AddProvider(kA);
    standin::PutKey(kClsid32 + L"{00000000-0000-0000-0000-000000000001}");
    EXPECT_TRUE(IsProviderClass(kA));
    EXPECT_FALSE(IsProviderClass(L"{00000000-0000-0000-0000-000000000001}"));
}

TEST_F(ProviderIdentityTest, MarkerThatCannotBeReadIsNoProvider) {
    test::AddProvider(kA);
    standin::DenyAccess(kClsid32 + kA + L"\\QIV Provider", true, false);
    EXPECT_FALSE(IsProviderClass(kA));
}

TEST_F(ProviderIdentityTest, SixtyFourBitOnlyProviderIsNotSeen) {
    standin::PutKey(L"HKCR\\Wow6432Node");  // a registry of 64-bit Windows: two views
    standin::PutKey(L"HKCR\\CLSID\\" + kA + L"\\QIV Provider");
    EXPECT_FALSE(IsProviderClass(kA));
}

TEST_F(ProviderIdentityTest, RegistryWithoutWow6432NodeIsOneView) {
    // As on 32-bit Windows, or in a 32-bit view's export: the classes are the 32-bit view's.
    standin::PutKey(L"HKCR\\CLSID\\" + kA + L"\\QIV Provider");
    EXPECT_TRUE(IsProviderClass(kA));
}

TEST_F(ProviderIdentityTest, RelativeMarkerTestAgreesWithTheFullPathTest) {
    test::AddProvider(kA);
    standin::PutKey(kClsid32 + L"{00000000-0000-0000-0000-000000000001}");
    RegistryKey classes;
    classes.Open(HKEY_CLASSES_ROOT, L"CLSID");
    for (const auto& name : standin::SubkeyNames(L"HKCR\\Wow6432Node\\CLSID"))
        EXPECT_EQ(ProviderMarkerStatus(classes.Handle(), name) == ERROR_SUCCESS, IsProviderClass(name)) << name;
}

TEST_F(ProviderIdentityTest, ProgIdIsTheVersionIndependentDefaultValue) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutString(kClsid32 + kA + L"\\ProgID", L"", L"Talvek.Alpha.1");
    EXPECT_EQ(ReadProviderProgId(kA), L"Talvek.Alpha");
}

TEST_F(ProviderIdentityTest, MissingOrNonStringProgIdIsEmpty) {
    test::AddProvider(kA);
    EXPECT_EQ(ReadProviderProgId(kA), L"");
    standin::PutKey(kClsid32 + kA + L"\\VersionIndependentProgID");
    EXPECT_EQ(ReadProviderProgId(kA), L"");
    standin::PutValue(kClsid32 + kA + L"\\VersionIndependentProgID", L"", REG_DWORD, {1, 0, 0, 0});
    EXPECT_EQ(ReadProviderProgId(kA), L"");
}

}  // namespace
