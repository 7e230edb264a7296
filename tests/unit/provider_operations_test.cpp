#include "provider/provider_operations.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/run_command.h"
#include "registry/registry_key.h"
#include "test_support.h"

namespace {

using namespace test;
const std::wstring kPlain = L"{0D43FE01-F093-11CF-8940-00A0C9054228}";

class ProviderOperationsTest : public test::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        test::AddProvider(kA, L"Talvek.Alpha");
        test::AddProvider(kB, L"Talvek.Bravo");
        test::AddProvider(kC, L"Talvek.Charlie");
        standin::PutString(kClsid32 + kPlain, L"", L"plain");
        standin::PutString(L"HKCR\\Plain.Class\\CLSID", L"", kPlain);
        // A companion host that exists, in a directory of our own.
        dir_ = ::testing::TempDir() + "vandrel_ops";
        std::string mk = "mkdir -p '" + dir_ + "'";
        ASSERT_EQ(std::system(mk.c_str()), 0);
        std::ofstream(dir_ + "/QivDLLHost.exe") << "MZ";
        host_ = L"Z:" + std::wstring(dir_.begin(), dir_.end()) + L"\\QivDLLHost.exe";
        for (auto& c : host_)
            if (c == L'/') c = L'\\';
    }
    CommandOptions Options(bool companion, const std::string& progId = "") {
        CommandOptions o;
        o.optionMap["host"] = companion ? "ignored narrow form" : "";
        o.hostIsCompanion = companion;
        o.companionHostPath = host_;
        if (!progId.empty()) o.optionMap["progid"] = progId;
        return o;
    }
    std::string dir_;
    std::wstring host_;
};

TEST_F(ProviderOperationsTest, SweepConfiguresEveryProviderAndNothingElse) {
    CommandOptions o = Options(true);
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), 0);
    auto lines = out.Lines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], L"Provider DllSurrogate configuration. ");
    EXPECT_EQ(lines[3], L"   DllSurrogate = [" + host_ + L"]");
    for (auto id : {kA, kB, kC}) EXPECT_EQ(Str(kAppIds + id, L"DllSurrogate"), host_);
    EXPECT_FALSE(standin::GetValue(kClsid32 + kPlain, L"AppID"));
}

TEST_F(ProviderOperationsTest, DefaultHostStoresEmptyStringsNotDeletions) {
    CommandOptions o = Options(false);
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), 0);
    for (auto id : {kA, kB, kC})
        EXPECT_EQ(standin::GetValue(kAppIds + id, L"DllSurrogate")->bytes.size(), 2u);
    EXPECT_EQ(out.Lines()[3], L"   DllSurrogate = []");
}

TEST_F(ProviderOperationsTest, FailedProviderIsReportedAndTheSweepGoesOn) {
    standin::PutString(kClsid32 + kB, L"AppID", kB);
    standin::PutKey(kAppIds + kB);
    standin::DenyAccess(kAppIds + kB, false, true);
    CommandOptions o = Options(true);
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    auto lines = out.Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], L"ERROR: Configuration failed. [" + kB + L"] (error 5)");
    EXPECT_EQ(lines[6], L"          CLSID = [" + kC + L"]");
    EXPECT_EQ(Str(kAppIds + kC, L"DllSurrogate"), host_);
}

TEST_F(ProviderOperationsTest, NonAdministratorIsStoppedBeforeTheRegistryIsRead) {
    standin::SetAdministrator(false);
    CommandOptions o = Options(true, "No.Such.Id");
    standin::ResetCallCounts();
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -1);
    EXPECT_EQ(standin::CallCount("*"), 0);
    EXPECT_EQ(out.Lines(), std::vector<std::wstring>{L"Provider DllSurrogate configuration. "});
}

TEST_F(ProviderOperationsTest, RightsAreCheckedBeforeTheCompanionHost) {
    standin::SetAdministrator(false);
    CommandOptions o = Options(true);
    o.companionHostPath = L"Z:\\nowhere\\QivDLLHost.exe";
    test::CapturedOutput out;
    EXPECT_EQ(RunCommand(o), -1);
    EXPECT_EQ(out.Lines(), (std::vector<std::wstring>{L"Provider DllSurrogate configuration. ",
                                                      L"ERROR: Administrator rights are required.", L""}));
}

TEST_F(ProviderOperationsTest, ShowNeedsNoRights) {
    standin::SetAdministrator(false);
    CommandOptions o;
    test::CapturedOutput out;
    EXPECT_EQ(ShowProviders(o), 0);
    EXPECT_EQ(out.Lines().size(), 10u);
}

TEST_F(ProviderOperationsTest, ProgIdThatDoesNotResolveOrIsNoProviderIsMinusTwo) {
    for (auto id : {"No.Such.Id", "Plain.Class"}) {
        CommandOptions show = Options(false, id), configure = Options(false, id);
        standin::Snapshot before = standin::TakeSnapshot();
        test::CapturedOutput out;
        EXPECT_EQ(ShowProviders(show), -2);
        EXPECT_EQ(ConfigureProviders(configure), -2);
        EXPECT_EQ(standin::TakeSnapshot(), before);
    }
}

TEST_F(ProviderOperationsTest, ProgIdSelectsOneProvider) {
    CommandOptions o = Options(true, "talvek.bravo");
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), 0);
    EXPECT_EQ(out.Lines().size(), 4u);
    EXPECT_EQ(Str(kAppIds + kB, L"DllSurrogate"), host_);
    EXPECT_FALSE(standin::KeyExists(kAppIds + kA));
}

TEST_F(ProviderOperationsTest, ProgIdOfAFailingProviderIsMinusThree) {
    standin::FailCall("RegSetValueExW", 1, ERROR_ACCESS_DENIED);
    CommandOptions o = Options(true, "Talvek.Alpha");
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    EXPECT_EQ(out.Lines().back(), L"ERROR: Configuration failed. [" + kA + L"] (error 5)");
}

TEST_F(ProviderOperationsTest, MissingCompanionHostStopsBeforeAnythingIsWritten) {
    CommandOptions o = Options(true, "No.Such.Id");
    o.companionHostPath = L"Z:\\nowhere\\QivDLLHost.exe";
    standin::Snapshot before = standin::TakeSnapshot();
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    EXPECT_EQ(out.Lines().back(), L"ERROR: QivDLLHost.exe was not found. [Z:\\nowhere\\QivDLLHost.exe]");
    EXPECT_EQ(standin::TakeSnapshot(), before);
}

TEST_F(ProviderOperationsTest, CompanionHostThatIsAFolderIsNotAHost) {
    CommandOptions o = Options(true);
    o.companionHostPath = host_.substr(0, host_.rfind(L'\\'));
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
}

TEST_F(ProviderOperationsTest, CompanionHostPathOfExactlyMaxPathIsFound) {
    // Windows refuses a path of MAX_PATH characters unless it is asked for as "\\?\...".
    std::string dir = dir_ + "/maxpath/";
    dir.append(MAX_PATH - 2 - dir.size() - 15, 'm');
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::ofstream(dir + "/QivDLLHost.exe") << "MZ";
    std::wstring path = L"Z:" + std::wstring(dir.begin(), dir.end()) + L"\\QivDLLHost.exe";
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    ASSERT_EQ(path.size(), size_t{MAX_PATH});
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    CommandOptions o = Options(true, "Talvek.Alpha");
    o.companionHostPath = path;
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), 0);
    EXPECT_EQ(Str(kAppIds + kA, L"DllSurrogate"), path);
}

TEST_F(ProviderOperationsTest, UnreadableCurrentDirectoryStopsConfigureButNotDefault) {
    CommandOptions o = Options(true);
    o.currentDirectoryUnreadable = true;
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    EXPECT_EQ(out.Lines().back(), L"ERROR: The current directory cannot be read.");
    CommandOptions d = Options(false);
    d.currentDirectoryUnreadable = true;
    EXPECT_EQ(ConfigureProviders(d), 0);
}

TEST_F(ProviderOperationsTest, SweepWithoutProvidersOrWithoutClsidKeyPrintsTheHeaderAlone) {
    standin::ResetRegistry();
    standin::SetAdministrator(true);
    CommandOptions o = Options(false);
    test::CapturedOutput out;
    EXPECT_EQ(ShowProviders(o), 0);
    EXPECT_EQ(ConfigureProviders(o), 0);
    EXPECT_EQ(out.Lines().size(), 2u);
}

TEST_F(ProviderOperationsTest, FilterWithNullContextConfiguresWithTheEmptyHost) {
    RegistryKey classes;
    classes.Open(HKEY_CLASSES_ROOT, L"CLSID");
    test::CapturedOutput out;
    EXPECT_FALSE(ConfigureSubkeyFilter(classes.Handle(), kA, nullptr));
    EXPECT_EQ(Str(kAppIds + kA, L"DllSurrogate"), L"");
}

TEST_F(ProviderOperationsTest, ClassDeletedDuringAConfiguringSweepEndsItWithAnError) {
    // A, visited first, is deleted: B moves into its index and is never examined.
    standin::FailCall("RegEnumKeyExW", 3, 0, [] { standin::DeleteKey(kClsid32 + kA); });
    CommandOptions o = Options(true);
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    auto lines = out.Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], L"          CLSID = [" + kC + L"]");
    EXPECT_EQ(lines[7], L"ERROR: The classes changed during the sweep; some may not have been examined. "
                        L"[HKEY_CLASSES_ROOT\\CLSID]");
    standin::FailCall("RegEnumKeyExW", 2, 0, [] { standin::DeleteKey(kClsid32 + kB); });
    CommandOptions show = Options(false);
    EXPECT_EQ(ShowProviders(show), 0);
    EXPECT_EQ(out.Lines().size(), 8u + 4u);  // the header and C's report: no error line
}

// The dispatcher: which operation runs, and its messages.

// Providers whose class names hold a NUL: one that begins with it (a path
// built from it names CLSID itself), one that starts as the plain class.
class NulNamedClassTest : public ProviderOperationsTest {
protected:
    void SetUp() override {
        ProviderOperationsTest::SetUp();
        using namespace std::string_literals;
        standin::PutKey(kClsid32 + L"\0lead\\QIV Provider"s);
        standin::PutKey(kClsid32 + kPlain + L"\0 3\\QIV Provider"s);
    }
};

TEST_F(NulNamedClassTest, ShowSweepShowsNoProviderForThem) {
    CommandOptions o = Options(false);
    test::CapturedOutput out;
    EXPECT_EQ(ShowProviders(o), 0);
    EXPECT_EQ(out.Lines().size(), 10u);  // the header and the three real providers
    EXPECT_EQ(out.Text().find(L"plain"), std::wstring::npos);
}

TEST_F(NulNamedClassTest, ConfiguringSweepNamesTheirIndexesAndWritesNothingForThem) {
    standin::Snapshot before = standin::TakeSnapshot();
    CommandOptions o = Options(true);
    test::CapturedOutput out;
    EXPECT_EQ(ConfigureProviders(o), -3);
    auto lines = out.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::wstring& l) {
                  return l.find(L"ERROR: A class could not be read. [HKEY_CLASSES_ROOT\\CLSID, subkey ") == 0 &&
                         l.find(L"] (error 123)") != std::wstring::npos;
              }), 2);
    standin::Snapshot after = standin::TakeSnapshot();
    for (const auto& key : {L"hkey_local_machine\\software\\classes\\wow6432node\\clsid",
                            L"hkey_local_machine\\software\\classes\\appid"})
        EXPECT_EQ(after[key], before[key]) << "values were written on " << key;
    EXPECT_FALSE(standin::GetValue(kClsid32 + kPlain, L"AppID"));
}

TEST_F(ProviderOperationsTest, ShowWinsOverConfigure) {
    CommandOptions o = Options(true);
    o.show = true;
    test::CapturedOutput out;
    EXPECT_EQ(RunCommand(o), 0);
    EXPECT_EQ(out.Lines()[0], L"Provider DllSurrogate validation. ");
    EXPECT_FALSE(standin::KeyExists(kAppIds + kA));
}

TEST_F(ProviderOperationsTest, NoHostAndNoShowRunsNothing) {
    CommandOptions o;
    o.optionMap["progid"] = "SomeId";
    test::CapturedOutput out;
    EXPECT_EQ(RunCommand(o), 0);
    EXPECT_TRUE(out.Lines().empty());
}

TEST_F(ProviderOperationsTest, DispatcherWritesTheMessagesOfMinusOneAndMinusTwo) {
    CommandOptions bad = Options(false, "NoSuchId");
    bad.show = true;
    test::CapturedOutput out;
    EXPECT_EQ(RunCommand(bad), -2);
    standin::SetAdministrator(false);
    CommandOptions admin = Options(false);
    EXPECT_EQ(RunCommand(admin), -1);
    EXPECT_EQ(out.Lines(), (std::vector<std::wstring>{
                               L"Provider DllSurrogate validation. ", L"ERROR: Invalid ProgID. [NoSuchId]", L"",
                               L"Provider DllSurrogate configuration. ",
                               L"ERROR: Administrator rights are required.", L""}));
}

}  // namespace
