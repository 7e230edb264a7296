#include "registry/registry_key.h"

#include "test_support.h"

namespace {

using standin::Utf16Bytes;

class RegistryKeyTest : public test::StandinTest {
protected:
    const std::wstring kKey = test::kClsid32 + L"{00000000-0000-0000-0000-0000000000AA}";
    const std::wstring kSub = L"CLSID\\{00000000-0000-0000-0000-0000000000AA}";
    void SetUp() override {
        StandinTest::SetUp();
        standin::PutKey(kKey);
    }
    // Reads a value that the test stored raw.
    LONG Read(std::vector<uint8_t> bytes, std::wstring* value, DWORD type = REG_SZ) {
        standin::PutValue(kKey, L"v", type, std::move(bytes));
        RegistryKey key;
        EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, kSub), ERROR_SUCCESS);
        return key.GetString(L"v", *value);
    }
};

// Opening, creating and closing: who owns which handle.

TEST_F(RegistryKeyTest, OpenGoesThroughTheThirtyTwoBitView) {
    RegistryKey key;
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, kSub), ERROR_SUCCESS);
    EXPECT_NE(key.Handle(), nullptr);
    EXPECT_EQ(standin::OpenHandleCount(), 1);
}

TEST_F(RegistryKeyTest, SixtyFourBitViewDoesNotSeeThirtyTwoBitClasses) {
    RegistryKey key(true);
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, kSub), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, FailedOpenKeepsTheKeyHeldBefore) {
    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, kSub), ERROR_SUCCESS);
    HKEY before = key.Handle();
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, L"CLSID\\missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Handle(), before);
    std::wstring v;
    EXPECT_EQ(key.GetString(L"none", v), ERROR_FILE_NOT_FOUND);  // still usable
}

TEST_F(RegistryKeyTest, SecondOpenReleasesTheFirstHandle) {
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    key.Open(HKEY_CLASSES_ROOT, L"CLSID");
    EXPECT_EQ(standin::OpenHandleCount(), 1);
}

TEST_F(RegistryKeyTest, EmptyNameUnderThePredefinedRootIsTheRootAndIsNeverClosed) {
    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, L""), ERROR_SUCCESS);
    EXPECT_EQ(key.Handle(), HKEY_CLASSES_ROOT);
    standin::ResetCallCounts();
    key.Close();
    EXPECT_EQ(standin::CallCount("RegCloseKey"), 0);
}

TEST_F(RegistryKeyTest, EmptyNameUnderAnOrdinaryHandleIsASecondHandle) {
    RegistryKey parent, self;
    parent.Open(HKEY_CLASSES_ROOT, kSub);
    ASSERT_EQ(self.Open(parent.Handle(), L""), ERROR_SUCCESS);
    EXPECT_NE(self.Handle(), parent.Handle());
    EXPECT_EQ(standin::OpenHandleCount(), 2);
}

TEST_F(RegistryKeyTest, CloseOnAnEmptyWrapperAndTwiceMakesNoCall) {
    RegistryKey key;
    standin::ResetCallCounts();
    key.Close();
    key.Open(HKEY_CLASSES_ROOT, kSub);
    key.Close();
    key.Close();
    EXPECT_EQ(standin::CallCount("RegCloseKey"), 1);
}

TEST_F(RegistryKeyTest, CreateMakesMissingKeysOnTheWay) {
    RegistryKey key;
    EXPECT_EQ(key.Create(HKEY_CLASSES_ROOT, L"AppID\\{A}\\deeper"), ERROR_SUCCESS);
    EXPECT_TRUE(standin::KeyExists(L"HKCR\\AppID\\{A}\\deeper"));
}

TEST_F(RegistryKeyTest, EmptyWrapperPassesTheNullHandleToThePlatform) {
    RegistryKey key;
    std::wstring v = L"kept";
    EXPECT_EQ(key.GetString(L"x", v), ERROR_INVALID_HANDLE);
    EXPECT_EQ(v, L"kept");
    EXPECT_EQ(key.SetString(L"x", L"y"), ERROR_INVALID_HANDLE);
}

// Writing strings.

TEST_F(RegistryKeyTest, SetStringStoresTheTextAndItsTerminator) {
    RegistryKey key;
    key.Create(HKEY_CLASSES_ROOT, kSub);
    EXPECT_EQ(key.SetString(L"empty", L""), ERROR_SUCCESS);
    EXPECT_EQ(key.SetString(L"id", L"{00000000-0000-0000-0000-0000000000AA}"), ERROR_SUCCESS);
    EXPECT_EQ(standin::GetValue(kKey, L"empty")->bytes.size(), 2u);
    EXPECT_EQ(standin::GetValue(kKey, L"id")->bytes.size(), 78u);
    EXPECT_EQ(standin::GetValue(kKey, L"id")->type, static_cast<DWORD>(REG_SZ));
}

TEST_F(RegistryKeyTest, SetStringThroughAReadOnlyKeyIsAccessDenied) {
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    EXPECT_EQ(key.SetString(L"x", L"y"), ERROR_ACCESS_DENIED);
}

// Reading strings of every size and type.

TEST_F(RegistryKeyTest, ReadsAnOrdinaryString) {
    std::wstring v;
    EXPECT_EQ(Read(Utf16Bytes(L"Talvek.Alpha"), &v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"Talvek.Alpha");
}

TEST_F(RegistryKeyTest, EmptyStringOfTwoBytesReadsEmpty) {
    std::wstring v = L"old";
    EXPECT_EQ(Read(Utf16Bytes(L""), &v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"");
}

TEST_F(RegistryKeyTest, StringOfZeroBytesReadsEmpty) {
    std::wstring v = L"old";
    EXPECT_EQ(Read({}, &v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"");
}

TEST_F(RegistryKeyTest, StringOfOneByteReadsEmpty) {
    std::wstring v = L"old";
    EXPECT_EQ(Read({'a'}, &v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"");
}

TEST_F(RegistryKeyTest, UnterminatedStringsKeepEveryWholeCharacter) {
    std::wstring v;
    EXPECT_EQ(Read(Utf16Bytes(L"abc", false), &v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"abc");
    EXPECT_EQ(Read({'a', 0, 'b', 0, 'c', 0, 'd'}, &v), ERROR_SUCCESS);  // the odd byte is no character
    EXPECT_EQ(v, L"abc");
}

TEST_F(RegistryKeyTest, NulInsideTheDataIsKept) {
    std::wstring v;
    EXPECT_EQ(Read(Utf16Bytes(std::wstring(L"ab\0cd", 5)), &v), ERROR_SUCCESS);
    EXPECT_EQ(v, std::wstring(L"ab\0cd", 5));
}

TEST_F(RegistryKeyTest, MissingValueIsFileNotFoundAndLeavesTheOutput) {
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    std::wstring v = L"kept";
    EXPECT_EQ(key.GetString(L"none", v), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(v, L"kept");
}

TEST_F(RegistryKeyTest, NonStringValueIsUnsupportedTypeAndLeavesTheOutput) {
    std::wstring v = L"kept";
    EXPECT_EQ(Read({1, 0, 0, 0}, &v, REG_DWORD), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(v, L"kept");
}

TEST_F(RegistryKeyTest, EmptyNameReadsTheDefaultValue) {
    standin::PutString(kKey, L"", L"default");
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    std::wstring v;
    EXPECT_EQ(key.GetString(L"", v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"default");
}

TEST_F(RegistryKeyTest, ValueThatGrowsBetweenSizingAndReadingIsReadAgain) {
    standin::PutString(kKey, L"AppID", L"{A}");
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    standin::FailCall("RegGetValueW", 2, 0, [&] {
        standin::PutString(kKey, L"AppID", L"{a much longer AppID than before}");
    });
    std::wstring v;
    EXPECT_EQ(key.GetString(L"AppID", v), ERROR_SUCCESS);
    EXPECT_EQ(v, L"{a much longer AppID than before}");
}

TEST_F(RegistryKeyTest, ValueThatKeepsGrowingGivesMoreDataAndLeavesTheOutput) {
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    standin::PutString(kKey, L"AppID", L"x");
    for (long call = 2; call <= 40; call += 2)
        standin::FailCall("RegGetValueW", call, ERROR_MORE_DATA);
    std::wstring v = L"kept";
    EXPECT_EQ(key.GetString(L"AppID", v), ERROR_MORE_DATA);
    EXPECT_EQ(v, L"kept");
    standin::ClearFaults();
}

TEST_F(RegistryKeyTest, DeletedKeyGivesKeyDeleted) {
    RegistryKey key;
    key.Open(HKEY_CLASSES_ROOT, kSub);
    standin::DeleteKey(kKey);
    std::wstring v;
    EXPECT_EQ(key.GetString(L"x", v), ERROR_KEY_DELETED);
}

}  // namespace
