#include "provider/appid_registration.h"

#include "registry/registry_key.h"
#include "test_support.h"

namespace {

using namespace test;

class AppIdRegistrationTest : public test::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        standin::PutKey(kClsid32 + kA);
        classKey_.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + kA);
    }
    void TearDown() override {
        classKey_.Close();
        StandinTest::TearDown();
    }
    RegistryKey classKey_;
};

TEST_F(AppIdRegistrationTest, ClassAppIdMissingEmptyOrNotAStringReadsEmpty) {
    EXPECT_EQ(ReadClassAppId(classKey_.Handle()), L"");
    standin::PutString(kClsid32 + kA, L"AppID", L"");
    EXPECT_EQ(ReadClassAppId(classKey_.Handle()), L"");
    standin::PutValue(kClsid32 + kA, L"AppID", REG_DWORD, {1, 0, 0, 0});
    EXPECT_EQ(ReadClassAppId(classKey_.Handle()), L"");
    standin::PutValue(kClsid32 + kA, L"AppID", REG_SZ, {});  // zero bytes
    EXPECT_EQ(ReadClassAppId(classKey_.Handle()), L"");
}

TEST_F(AppIdRegistrationTest, WriteClassAppIdReplacesANonStringValue) {
    standin::PutValue(kClsid32 + kA, L"AppID", REG_DWORD, {1, 0, 0, 0});
    EXPECT_EQ(WriteClassAppId(classKey_.Handle(), kA), ERROR_SUCCESS);
    EXPECT_EQ(Str(kClsid32 + kA, L"AppID"), kA);
    EXPECT_EQ(ReadClassAppId(classKey_.Handle()), kA);
}

TEST_F(AppIdRegistrationTest, NullClassKeyReadsEmptyAndWriteFails) {
    EXPECT_EQ(ReadClassAppId(nullptr), L"");
    EXPECT_EQ(WriteClassAppId(nullptr, kA), ERROR_INVALID_HANDLE);
}

TEST_F(AppIdRegistrationTest, MissingAppIdKeyIsIncompleteAndInitialisedWithAllThreeValues) {
    EXPECT_EQ(ReadDllSurrogate(kA), L"");
    EXPECT_FALSE(IsAppIdKeyComplete(kA));
    EXPECT_EQ(InitializeAppIdKey(kA, L"Talvek.Alpha"), ERROR_SUCCESS);
    EXPECT_EQ(Str(kAppIds + kA, L""), L"Talvek.Alpha");
    EXPECT_EQ(Str(kAppIds + kA, L"AppID"), kA);
    EXPECT_EQ(standin::GetValue(kAppIds + kA, L"DllSurrogate")->bytes.size(), 2u);
    EXPECT_TRUE(IsAppIdKeyComplete(kA));
}

TEST_F(AppIdRegistrationTest, CompletenessNeedsBothValuesAsStringsWhateverTheirContent) {
    standin::PutString(kAppIds + kA, L"DllSurrogate", L"");
    EXPECT_FALSE(IsAppIdKeyComplete(kA));
    standin::PutString(kAppIds + kA, L"AppID", L"{something else}");
    EXPECT_TRUE(IsAppIdKeyComplete(kA));
    standin::PutValue(kAppIds + kA, L"DllSurrogate", REG_DWORD, {0, 0, 0, 0});
    EXPECT_FALSE(IsAppIdKeyComplete(kA));
}

TEST_F(AppIdRegistrationTest, EmptyProgIdAndEmptyHostAreStoredNotDeleted) {
    EXPECT_EQ(InitializeAppIdKey(kA, L""), ERROR_SUCCESS);
    EXPECT_EQ(standin::GetValue(kAppIds + kA, L"")->bytes.size(), 2u);
    EXPECT_EQ(WriteDllSurrogate(kA, L""), ERROR_SUCCESS);
    EXPECT_EQ(standin::GetValue(kAppIds + kA, L"DllSurrogate")->bytes.size(), 2u);
}

TEST_F(AppIdRegistrationTest, RefusedWriteStopsTheSequenceAndKeepsEarlierWrites) {
    standin::FailCall("RegSetValueExW", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(InitializeAppIdKey(kA, L"Talvek.Alpha"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Str(kAppIds + kA, L""), L"Talvek.Alpha");
    EXPECT_FALSE(standin::GetValue(kAppIds + kA, L"AppID"));
    EXPECT_FALSE(standin::GetValue(kAppIds + kA, L"DllSurrogate"));
}

TEST_F(AppIdRegistrationTest, AppIdWithASeparatorOrNulIsNotUsable) {
    EXPECT_TRUE(IsUsableAppId(kA));
    EXPECT_FALSE(IsUsableAppId(L"..\\..\\CLSID\\{X}"));
    EXPECT_FALSE(IsUsableAppId(std::wstring(L"{A}\0x", 5)));
}

}  // namespace
