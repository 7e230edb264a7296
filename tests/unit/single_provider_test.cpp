#include "provider/single_provider.h"

#include "test_support.h"

namespace {

using namespace test;
const std::wstring kHost = L"C:\\Work\\QivDLLHost.exe";

std::vector<std::wstring> Report(const std::wstring& progId, const std::wstring& clsid,
                                 const std::wstring& host) {
    return {L"Provider ProgID = [" + progId + L"]", L"          CLSID = [" + clsid + L"]",
            L"   DllSurrogate = [" + host + L"]"};
}

class SingleProviderTest : public test::StandinTest {};

TEST_F(SingleProviderTest, ClassWithoutMarkerIsLeftAlone) {
    standin::PutKey(kClsid32 + kA);
    standin::Snapshot before = standin::TakeSnapshot();
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(ShowProvider(kA), ERROR_SUCCESS);
    EXPECT_TRUE(out.Lines().empty());
    EXPECT_EQ(standin::TakeSnapshot(), before);
}

TEST_F(SingleProviderTest, ProviderWithoutAppIdIsShownAsNotApplicable) {
    test::AddProvider(kA, L"Talvek.Alpha");
    test::CapturedOutput out;
    ShowProvider(kA);
    auto expected = Report(L"Talvek.Alpha", kA, L"");
    expected[2] = L"   DllSurrogate = [-- N/A --]";
    EXPECT_EQ(out.Lines(), expected);
}

TEST_F(SingleProviderTest, ProviderWithoutAppIdGetsOneInTheWrittenOrder) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::ResetCallCounts();
    test::CapturedOutput out;
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(out.Lines(), Report(L"Talvek.Alpha", kA, kHost));
    EXPECT_EQ(Str(kClsid32 + kA, L"AppID"), kA);
    EXPECT_EQ(Str(kAppIds + kA, L""), L"Talvek.Alpha");
    EXPECT_EQ(Str(kAppIds + kA, L"AppID"), kA);
    EXPECT_EQ(Str(kAppIds + kA, L"DllSurrogate"), kHost);
    EXPECT_EQ(standin::CallCount("RegSetValueExW"), 5);  // AppID, default, AppID, "" then the host
}

TEST_F(SingleProviderTest, EachWriteOfTheOrderCanBeTheOneThatFails) {
    for (long failing = 1; failing <= 5; ++failing) {
        standin::ResetRegistry();
        test::AddProvider(kA, L"Talvek.Alpha");
        standin::FailCall("RegSetValueExW", failing, ERROR_ACCESS_DENIED);
        test::CapturedOutput out;
        EXPECT_EQ(ConfigureProvider(kA, kHost), ERROR_ACCESS_DENIED) << failing;
        EXPECT_TRUE(out.Lines().empty());
        EXPECT_EQ(standin::GetValue(kClsid32 + kA, L"AppID").has_value(), failing > 1);
        EXPECT_EQ(standin::GetValue(kAppIds + kA, L"AppID").has_value(), failing > 3);
        EXPECT_EQ(standin::OpenHandleCount(), 0);
    }
}

TEST_F(SingleProviderTest, CompleteAppIdKeyGetsOnlyItsDllSurrogate) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutString(kClsid32 + kA, L"AppID", L"{B}");
    standin::PutString(kAppIds + L"{B}", L"", L"hand-made");
    standin::PutString(kAppIds + L"{B}", L"AppID", L"{other}");
    standin::PutString(kAppIds + L"{B}", L"DllSurrogate", L"old.exe");
    test::CapturedOutput out;
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(Str(kAppIds + L"{B}", L""), L"hand-made");
    EXPECT_EQ(Str(kAppIds + L"{B}", L"AppID"), L"{other}");
    EXPECT_EQ(Str(kAppIds + L"{B}", L"DllSurrogate"), kHost);
}

TEST_F(SingleProviderTest, IncompleteAppIdKeyIsInitialisedFirst) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutString(kClsid32 + kA, L"AppID", L"{B}");
    standin::PutString(kAppIds + L"{B}", L"", L"hand-made");
    standin::PutString(kAppIds + L"{B}", L"DllSurrogate", L"old.exe");
    test::CapturedOutput out;
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(Str(kAppIds + L"{B}", L""), L"Talvek.Alpha");
    EXPECT_EQ(Str(kAppIds + L"{B}", L"AppID"), L"{B}");
    EXPECT_EQ(Str(kAppIds + L"{B}", L"DllSurrogate"), kHost);
}

TEST_F(SingleProviderTest, ProviderWithoutProgIdPrintsEmptyBracketsAndStoresAnEmptyDefault) {
    test::AddProvider(kA);
    test::CapturedOutput out;
    ASSERT_EQ(ConfigureProvider(kA, L""), ERROR_SUCCESS);
    EXPECT_EQ(out.Lines(), Report(L"", kA, L""));
    EXPECT_EQ(Str(kAppIds + kA, L""), L"");
    EXPECT_EQ(Str(kAppIds + kA, L"DllSurrogate"), L"");
}

TEST_F(SingleProviderTest, ShowPrintsEmptyBracketsForMissingKeyValueOrEmptyHost) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutString(kClsid32 + kA, L"AppID", L"{B}");
    for (int step = 0; step < 3; ++step) {
        if (step == 1) standin::PutKey(kAppIds + L"{B}");
        if (step == 2) standin::PutValue(kAppIds + L"{B}", L"DllSurrogate", REG_SZ, {});
        test::CapturedOutput out;
        ShowProvider(kA);
        EXPECT_EQ(out.Lines(), Report(L"Talvek.Alpha", kA, L"")) << step;
    }
}

TEST_F(SingleProviderTest, ZeroByteValuesReadAsEmptyStrings) {
    test::AddProvider(kA);
    standin::PutValue(kClsid32 + kA + L"\\VersionIndependentProgID", L"", REG_SZ, {});
    standin::PutValue(kClsid32 + kA, L"AppID", REG_SZ, {});
    test::CapturedOutput out;
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(out.Lines(), Report(L"", kA, kHost));
    EXPECT_EQ(Str(kClsid32 + kA, L"AppID"), kA);
}

TEST_F(SingleProviderTest, AppIdHoldingAPathIsNeverFollowed) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutString(kClsid32 + kA, L"AppID", L"..\\..\\CLSID\\{victim}");
    standin::Snapshot before = standin::TakeSnapshot();
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProvider(kA, kHost), ERROR_INVALID_DATA);
    EXPECT_EQ(standin::TakeSnapshot(), before);
    ShowProvider(kA);
    auto expected = Report(L"Talvek.Alpha", kA, L"");
    expected[2] = L"   DllSurrogate = [-- N/A --]";
    EXPECT_EQ(out.Lines(), expected);
}

// Registry text ends at its first NUL, as Windows programs read it.

TEST_F(SingleProviderTest, ShownTextEndsAtTheFirstNul) {
    const std::wstring nul(1, L'\0');
    test::AddProvider(kA);
    test::AddProvider(kB);
    standin::PutValue(kClsid32 + kA + L"\\VersionIndependentProgID", L"", REG_SZ,
                      standin::Utf16Bytes(L"T.A" + nul + nul));
    standin::PutValue(kClsid32 + kB + L"\\VersionIndependentProgID", L"", REG_SZ,
                      standin::Utf16Bytes(L"A" + nul + L"B"));
    standin::PutString(kClsid32 + kA, L"AppID", L"{G}");
    standin::PutValue(kAppIds + L"{G}", L"DllSurrogate", REG_SZ, standin::Utf16Bytes(L"C:\\x" + nul + L"junk"));
    test::CapturedOutput out;
    ShowProvider(kA);
    ShowProvider(kB);
    auto expected = Report(L"T.A", kA, L"C:\\x");
    auto second = Report(L"A", kB, L"-- N/A --");
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(out.Lines(), expected);
}

TEST_F(SingleProviderTest, AppIdWithExtraTerminatorsNamesItsKey) {
    const std::wstring nul(1, L'\0');
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutValue(kClsid32 + kA, L"AppID", REG_SZ, standin::Utf16Bytes(L"{G}" + nul));
    standin::PutString(kAppIds + L"{G}", L"", L"hand-made");
    standin::PutString(kAppIds + L"{G}", L"AppID", L"{G}");
    standin::PutString(kAppIds + L"{G}", L"DllSurrogate", L"old.exe");
    const auto classAppId = standin::GetValue(kClsid32 + kA, L"AppID");
    test::CapturedOutput out;
    ShowProvider(kA);
    EXPECT_EQ(out.Lines(), Report(L"Talvek.Alpha", kA, L"old.exe"));
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(Str(kAppIds + L"{G}", L"DllSurrogate"), kHost);
    EXPECT_EQ(Str(kAppIds + L"{G}", L""), L"hand-made");
    EXPECT_EQ(standin::GetValue(kClsid32 + kA, L"AppID"), classAppId);
    EXPECT_EQ(standin::SubkeyNames(L"HKCR\\AppID"), std::vector<std::wstring>{L"{G}"});
}

TEST_F(SingleProviderTest, AppIdWhoseTextIsEmptyCountsAsNone) {
    const std::wstring nul(1, L'\0');
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::PutValue(kClsid32 + kA, L"AppID", REG_SZ, standin::Utf16Bytes(nul + L"{G}"));
    test::CapturedOutput out;
    ShowProvider(kA);
    auto expected = Report(L"Talvek.Alpha", kA, L"");
    expected[2] = L"   DllSurrogate = [-- N/A --]";
    EXPECT_EQ(out.Lines(), expected);
    ASSERT_EQ(ConfigureProvider(kA, kHost), ERROR_SUCCESS);
    EXPECT_EQ(standin::GetValue(kClsid32 + kA, L"AppID")->bytes, standin::Utf16Bytes(kA));
    EXPECT_EQ(Str(kAppIds + kA, L"DllSurrogate"), kHost);
    EXPECT_EQ(standin::SubkeyNames(L"HKCR\\AppID"), std::vector<std::wstring>{kA});
}

TEST_F(SingleProviderTest, MarkerThatCannotBeExaminedFailsConfigureUnwritten) {
    test::AddProvider(kA, L"Talvek.Alpha");
    standin::DenyAccess(kClsid32 + kA + L"\\QIV Provider", true, false);
    standin::Snapshot before = standin::TakeSnapshot();
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProvider(kA, kHost), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(out.Lines().empty());
    EXPECT_EQ(standin::TakeSnapshot(), before);
}

}  // namespace
