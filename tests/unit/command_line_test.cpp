#include "app/command_line.h"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Parsed {
    int result;
    CommandOptions options;
    std::vector<std::wstring> lines;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "Vandrel.exe");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    Parsed parsed{};
    test::CapturedOutput out;
    parsed.result = ParseCommandLine(argv.data(), parsed.options, static_cast<int>(argv.size()));
    parsed.lines = out.Lines();
    return parsed;
}

class ParseCommandLineTest : public test::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        standin::SetCurrentDirectoryOverride(L"C:\\Work");
    }
};

TEST_F(ParseCommandLineTest, OnlyTheProgramNameIsMinusOneAndLeavesTheRecordUntouched) {
    Parsed p = Parse({});
    EXPECT_EQ(p.result, -1);
    EXPECT_TRUE(p.options.optionMap.empty());
    EXPECT_TRUE(p.lines.empty());
}

TEST_F(ParseCommandLineTest, ShowSwitchIgnoresCase) {
    EXPECT_TRUE(Parse({"/s"}).options.show);
    EXPECT_TRUE(Parse({"/S"}).options.show);
}

TEST_F(ParseCommandLineTest, NearMissesAreUnrecognisedEachWithItsOwnLine) {
    Parsed p = Parse({"/Show", "-s", "/S/C", "/s ", ""});
    EXPECT_EQ(p.result, -2);
    EXPECT_FALSE(p.options.show);
    ASSERT_EQ(p.lines.size(), 5u);
    EXPECT_EQ(p.lines[0], L"ERROR: Unknown parameter.[/Show]");
    EXPECT_EQ(p.lines[3], L"ERROR: Unknown parameter.[/s ]");
    EXPECT_EQ(p.lines[4], L"ERROR: Unknown parameter.[]");
}

TEST_F(ParseCommandLineTest, ValidSwitchesAfterAnUnknownOneAreStillRecorded) {
    Parsed p = Parse({"/X", "/S"});
    EXPECT_EQ(p.result, -2);
    EXPECT_TRUE(p.options.show);
}

TEST_F(ParseCommandLineTest, ProgIdKeepsItsCaseAndEverythingAfterTheFirstEquals) {
    EXPECT_EQ(Parse({"/p=My.Prog.1"}).options.optionMap["progid"], "My.Prog.1");
    EXPECT_EQ(Parse({"/P=a=b"}).options.optionMap["progid"], "a=b");
    EXPECT_EQ(Parse({"/P==x"}).options.optionMap["progid"], "=x");
    EXPECT_EQ(Parse({"/P=x", "/P=y"}).options.optionMap["progid"], "y");
}

TEST_F(ParseCommandLineTest, ProgIdSwitchWithNothingAfterItIsUnrecognised) {
    Parsed p = Parse({"/P="});
    EXPECT_EQ(p.result, -2);
    EXPECT_EQ(p.options.optionMap.count("progid"), 0u);
}

TEST_F(ParseCommandLineTest, ArgumentsOfOneMebibyteAreKeptWhole) {
    const std::string big(1 << 20, 'x');
    Parsed unknown = Parse({big});
    ASSERT_EQ(unknown.lines.size(), 1u);
    EXPECT_EQ(unknown.lines[0].size(), std::string("ERROR: Unknown parameter.[]").size() + big.size());
    EXPECT_EQ(Parse({"/P=" + big}).options.optionMap["progid"], big);
}

TEST_F(ParseCommandLineTest, CompanionHostIsTheCurrentDirectoryPlusTheHostFile) {
    Parsed p = Parse({"/C"});
    EXPECT_EQ(p.options.optionMap["qivdllhost"], "C:\\Work\\QivDLLHost.exe");
    EXPECT_EQ(p.options.optionMap["host"], "C:\\Work\\QivDLLHost.exe");
    EXPECT_EQ(p.options.companionHostPath, L"C:\\Work\\QivDLLHost.exe");
    EXPECT_TRUE(p.options.hostIsCompanion);
}

TEST_F(ParseCommandLineTest, ListOnlyAndUndoGoWithConfiguringAlone) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"/L"}, {"/S", "/L"}, {"/C", "/S", "/L"}, {"/U=u.reg"}, {"/S", "/U=u.reg"}, {"/C", "/L", "/U=u.reg"}}) {
        Parsed p = Parse(args);
        EXPECT_EQ(p.result, -2) << args.size();
        ASSERT_EQ(p.lines.size(), 1u);
        EXPECT_EQ(p.lines[0].rfind(L"ERROR: /", 0), 0u);
    }
    Parsed ok = Parse({"/d", "/l"});
    EXPECT_EQ(ok.result, 0);
    EXPECT_TRUE(ok.options.listOnly);
    Parsed undo = Parse({"/C", "/u=C:\\Undo Files\\u.reg"});
    EXPECT_EQ(undo.result, 0);
    EXPECT_EQ(undo.options.undoPath, "C:\\Undo Files\\u.reg");
    EXPECT_EQ(Parse({"/C", "/U="}).result, -2);  // nothing after the "="
}

TEST_F(ParseCommandLineTest, DriveRootGetsNoSecondSeparator) {
    standin::SetCurrentDirectoryOverride(L"C:\\");
    Parsed p = Parse({"/C"});
    EXPECT_EQ(p.options.optionMap["qivdllhost"], "C:\\QivDLLHost.exe");
    EXPECT_EQ(p.options.companionHostPath, L"C:\\QivDLLHost.exe");
}

TEST_F(ParseCommandLineTest, TheLaterOfConfigureAndDefaultDecides) {
    Parsed cd = Parse({"/C", "/D"});
    EXPECT_EQ(cd.options.optionMap["host"], "");
    EXPECT_FALSE(cd.options.hostIsCompanion);
    Parsed dc = Parse({"/D", "/C"});
    EXPECT_EQ(dc.options.optionMap["host"], "C:\\Work\\QivDLLHost.exe");
    EXPECT_TRUE(dc.options.hostIsCompanion);
}

TEST_F(ParseCommandLineTest, DirectoryLongerThanMaxPathIsKeptWhole) {
    std::wstring dir = L"Z:\\" + std::wstring(300, L'd');
    standin::SetCurrentDirectoryOverride(dir);
    Parsed p = Parse({"/C"});
    EXPECT_EQ(p.options.companionHostPath, dir + L"\\QivDLLHost.exe");
    EXPECT_FALSE(p.options.currentDirectoryUnreadable);
}

TEST_F(ParseCommandLineTest, NonAsciiDirectoryIsExactInWideFormWhateverTheNarrowEntryHolds) {
    std::wstring dir = L"Z:\\J\u00f6rg-\u30c4\u30fc\u30eb";
    standin::SetCurrentDirectoryOverride(dir);
    Parsed p = Parse({"/C"});
    EXPECT_EQ(p.options.companionHostPath, dir + L"\\QivDLLHost.exe");
    EXPECT_EQ(p.options.optionMap["qivdllhost"], "\\QivDLLHost.exe");
}

TEST_F(ParseCommandLineTest, UnreadableDirectoryIsRemembered) {
    standin::SetCurrentDirectoryOverride(std::nullopt, true);
    Parsed p = Parse({"/C"});
    EXPECT_EQ(p.result, 0);
    EXPECT_TRUE(p.options.currentDirectoryUnreadable);
    EXPECT_EQ(p.options.optionMap["host"], "\\QivDLLHost.exe");
}

}  // namespace
