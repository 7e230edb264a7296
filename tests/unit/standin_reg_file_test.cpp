// The .reg store: what loads, what is refused, and that saving changes
// nothing but what changed.
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "test_support.h"

namespace {

using standin::LoadRegistryText;

std::string Utf16File(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back(0);
    }
    return bytes;
}

const std::string kExported =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID\\{A}]\r\n"
    "@=\"Talvek.A\"\r\n"
    "\"DllSurrogate\"=\"C:\\\\Host \\\"q\\\".exe\"\r\n"
    "\"Flags\"=dword:0000002a\r\n"
    "\"Dll\"=hex(7):63,00,72,00,79,00,70,00,74,00,6e,00,65,00,74,00,2e,00,64,00,6c,00,\\\r\n"
    "  6c,00,00,00,00,00\r\n"
    "\r\n"
    "[HKEY_USERS\\.DEFAULT\\Console]\r\n"
    "\"Blob\"=hex:01,02\r\n"
    "\r\n";

class RegFileTest : public test::StandinTest {};

TEST_F(RegFileTest, LoadsUtf16ExportWithEveryValueForm) {
    ASSERT_TRUE(LoadRegistryText(Utf16File(kExported), "x.reg").ok);
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{A}", L""), L"Talvek.A");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{A}", L"DllSurrogate"), L"C:\\Host \"q\".exe");
    EXPECT_EQ(standin::GetValue(L"HKCR\\AppID\\{A}", L"Flags")->bytes,
              (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(standin::GetValue(L"HKCR\\AppID\\{A}", L"Dll")->type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(standin::GetValue(L"HKCR\\AppID\\{A}", L"Dll")->bytes.size(), 28u);
    EXPECT_EQ(standin::GetValue(L"HKU\\.DEFAULT\\Console", L"Blob")->bytes, (std::vector<uint8_t>{1, 2}));
}

TEST_F(RegFileTest, UnchangedRegistrySerializesToTheSameBytes) {
    ASSERT_TRUE(LoadRegistryText(Utf16File(kExported), "x.reg").ok);
    EXPECT_EQ(standin::SerializeRegistry(), Utf16File(kExported));
}

TEST_F(RegFileTest, OneChangedValueChangesOnlyItsLine) {
    ASSERT_TRUE(LoadRegistryText(kExported, "x.reg").ok);
    standin::PutString(L"HKCR\\AppID\\{A}", L"DllSurrogate", L"");
    std::string expected = kExported;
    expected.replace(expected.find("\"DllSurrogate\"="), std::string("\"DllSurrogate\"=\"C:\\\\Host \\\"q\\\".exe\"").size(),
                     "\"DllSurrogate\"=\"\"");
    EXPECT_EQ(standin::SerializeRegistry(), expected);
}

TEST_F(RegFileTest, NewKeysAndValuesAreAppendedAndReadBack) {
    ASSERT_TRUE(LoadRegistryText(kExported, "x.reg").ok);
    standin::PutString(L"HKCR\\AppID\\{A}", L"AppID", L"{A}");
    standin::PutString(L"HKCR\\AppID\\{B}", L"", L"new");
    std::string saved = standin::SerializeRegistry();
    EXPECT_NE(saved.find("\"Flags\"=dword:0000002a\r\n\"Dll\""), std::string::npos);
    EXPECT_NE(saved.find("\"AppID\"=\"{A}\"\r\n\r\n[HKEY_USERS"), std::string::npos);
    ASSERT_TRUE(LoadRegistryText(saved, "again.reg").ok);
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{B}", L""), L"new");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{A}", L"AppID"), L"{A}");
}

TEST_F(RegFileTest, DeletionLinesRemoveKeysAndValues) {
    ASSERT_TRUE(LoadRegistryText("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
                                 "\"x\"=-\n[-HKEY_CLASSES_ROOT\\A\\B\\C]\n[HKEY_CLASSES_ROOT\\A\\B\\C]\n"
                                 "[-HKEY_CLASSES_ROOT\\A\\B\\C]\n", "d.reg").ok);
    EXPECT_FALSE(standin::GetValue(L"HKCR\\A\\B", L"x"));
    EXPECT_TRUE(standin::GetValue(L"HKCR\\A\\B", L"y"));
    EXPECT_FALSE(standin::KeyExists(L"HKCR\\A\\B\\C"));
}

TEST_F(RegFileTest, ValueSetTwiceKeepsBothLinesAndTheLastTakesEffect) {
    const std::string file = "REGEDIT4\n\n[HKCR\\A]\n@=\"first\"\n; note\n@=\"second\"\n";
    ASSERT_TRUE(LoadRegistryText(file, "t.reg").ok);
    standin::PutString(L"HKCR\\A", L"other", L"x");
    std::string saved = standin::SerializeRegistry();
    EXPECT_EQ(saved, file + "\"other\"=\"x\"\n");
    ASSERT_TRUE(LoadRegistryText(saved, "again.reg").ok);
    EXPECT_EQ(test::Str(L"HKCR\\A", L""), L"second");
}

TEST_F(RegFileTest, ValueNamedTwiceInOtherCaseOverContinuedLinesRewritesOnlyTheLast) {
    const std::string file = "REGEDIT4\n\n[HKCR\\A]\n\"v\"=hex:01,02,03,04,05,06,07,08,\\\n  02\n"
                             "\"V\"=hex:03,02,03,04,05,06,07,08,\\\n  04\n";
    ASSERT_TRUE(LoadRegistryText(file, "t.reg").ok);
    EXPECT_EQ(standin::SerializeRegistry(), file);
    standin::PutValue(L"HKCR\\A", L"v", REG_BINARY, {9});
    EXPECT_EQ(standin::SerializeRegistry(),
              "REGEDIT4\n\n[HKCR\\A]\n\"v\"=hex:01,02,03,04,05,06,07,08,\\\n  02\n\"V\"=hex:09\n");
}

// What a run leaves in a file of the given shape: the file loaded, the
// values written as a registry call writes them, the file saved.
std::string SavedAfter(const std::string& file, const std::vector<std::pair<std::wstring, std::wstring>>& writes) {
    EXPECT_TRUE(LoadRegistryText(file, "shape.reg").ok) << file;
    for (const auto& [path, name] : writes) standin::PutString(path, name, L"new");
    return standin::SerializeRegistry();
}

TEST_F(RegFileTest, DeletionLinesAndWhatFollowsThemStayInPlace) {
    const std::string head = "REGEDIT4\n\n[-HKCR\\Gone]\n; gone for good\n\"stray\"=\"ignored\"\n\n"
                             "[HKCR\\K]\n\"x\"=-\n\"y\"=\"1\"\n";
    EXPECT_EQ(SavedAfter(head + "\n[HKCR\\Z]\n", {{L"HKCR\\K", L"y"}}),
              "REGEDIT4\n\n[-HKCR\\Gone]\n; gone for good\n\"stray\"=\"ignored\"\n\n[HKCR\\K]\n\"x\"=-\n\"y\"=\"new\"\n"
              "\n[HKCR\\Z]\n");
}

TEST_F(RegFileTest, RepeatedKeyKeepsItsEarlierLinesAndTheLastOneTakesTheWrite) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"v\"=dword:0\n\n[HKCR\\O]\n\n[HKCR\\K]\n\"v\"=dword:1\n",
                         {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"v\"=dword:0\n\n[HKCR\\O]\n\n[HKCR\\K]\n\"v\"=\"new\"\n");
}

TEST_F(RegFileTest, NewValueGoesToTheKeysLastSectionBeforeItsComments) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"a\"=\"1\"\n\n[HKCR\\K]\n\"b\"=\"2\"\n; end\n\n[HKCR\\O]\n",
                         {{L"HKCR\\K", L"c"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"a\"=\"1\"\n\n[HKCR\\K]\n\"b\"=\"2\"\n\"c\"=\"new\"\n; end\n\n[HKCR\\O]\n");
}

TEST_F(RegFileTest, ValueTheFileRemovesIsWrittenAfterTheRemoval) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n\"v\"=-\n", {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n\"v\"=-\n\"v\"=\"new\"\n");
}

TEST_F(RegFileTest, KeyDeletedThenRecreatedTakesTheWriteInItsNewSection) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n[-HKCR\\K]\n[HKCR\\K]\n\"w\"=\"2\"\n",
                         {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n[-HKCR\\K]\n[HKCR\\K]\n\"w\"=\"2\"\n\"v\"=\"new\"\n");
}

TEST_F(RegFileTest, KeyCreatedThenDeletedIsWrittenAfterTheDeletion) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n\n[-HKCR\\K]\n", {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"1\"\n\n[-HKCR\\K]\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"new\"\n\n");
}

TEST_F(RegFileTest, EachLineKeepsItsOwnLineEndAndAddedLinesTakeTheirNeighbours) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\r\n\"a\"=\"1\"\n\"b\"=\"2\"\r\n[HKCR\\L]  \n", {{L"HKCR\\K", L"c"}}),
              "REGEDIT4\n\n[HKCR\\K]\r\n\"a\"=\"1\"\n\"b\"=\"2\"\r\n\"c\"=\"new\"\r\n[HKCR\\L]  \n");
}

TEST_F(RegFileTest, DosEndOfFileLineIsAcceptedKeptAndNewKeysGoBeforeIt) {
    EXPECT_EQ(SavedAfter("REGEDIT4\r\n\r\n[HKCR\\K]\r\n\"a\"=\"1\"\r\n\x1A", {{L"HKCR\\N", L"v"}}),
              "REGEDIT4\r\n\r\n[HKCR\\K]\r\n\"a\"=\"1\"\r\n[HKEY_CLASSES_ROOT\\N]\r\n\"v\"=\"new\"\r\n\r\n\x1A");
}

TEST_F(RegFileTest, FileEndingInAContinuedHexLineLosesTheBackslashBeforeLinesAreAdded) {
    // Regedit passes over blank lines in a continuation, so a line added after
    // it would be read as more bytes: the backslash goes, the bytes stay.
    std::string saved = SavedAfter("REGEDIT4\n\n[-HKCR\\Gone]\n\"w\"=hex:01,\\", {{L"HKCR\\N", L"v"}});
    EXPECT_EQ(saved, "REGEDIT4\n\n[-HKCR\\Gone]\n\"w\"=hex:01,\n[HKEY_CLASSES_ROOT\\N]\n\"v\"=\"new\"\n");
    saved = SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"w\"=hex:01,\\\n\n", {{L"HKCR\\K", L"v"}});
    EXPECT_EQ(saved, "REGEDIT4\n\n[HKCR\\K]\n\"w\"=hex:01,\n\"v\"=\"new\"\n\n");
    ASSERT_TRUE(LoadRegistryText(saved, "again.reg").ok);
    EXPECT_EQ(standin::GetValue(L"HKCR\\K", L"w")->bytes, (std::vector<uint8_t>{1}));
}

TEST_F(RegFileTest, ValueDataIsReadAsRegeditReadsIt) {
    struct Case {
        std::string line;
        DWORD type;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"\"v\"=dword: 5 ; five", REG_DWORD, {5, 0, 0, 0}},
        {"\"v\"=hex:01, 02 ; two", REG_BINARY, {1, 2}},
        {"\"v\"=hex:01,\\ ; more\n  02", REG_BINARY, {1, 2}},
        {"\"v\"=hex:01,\\\n\n; between\n  02", REG_BINARY, {1, 2}},
        {"\"v\"=hex(7):\\\n  41,00,00,00", REG_MULTI_SZ, {'A', 0, 0, 0}},
        {"\"v\"=\"1\" ; not continued =hex:01,\\", REG_SZ, {'1', 0, 0, 0}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadRegistryText("Windows Registry Editor Version 5.00\n\n[HKCR\\K]\n" + c.line + "\n", "d.reg").ok)
            << c.line;
        std::optional<standin::RawValue> v = standin::GetValue(L"HKCR\\K", L"v");
        ASSERT_TRUE(v) << c.line;
        EXPECT_EQ(v->type, c.type) << c.line;
        EXPECT_EQ(v->bytes, c.bytes) << c.line;
    }
}

TEST_F(RegFileTest, RewrittenDwordKeepsTheCommentAfterIt) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n\"v\"=dword:1  ; why\n", {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n\"v\"=\"new\"  ; why\n");
}

TEST_F(RegFileTest, HexValuesAreWrappedAsRegeditExportsThem) {
    // Regedit's own export of these values: lines broken once they reach 77 columns.
    const std::string exported =
        "@=hex:ff,ee,dd,cc,bb,aa,99,88,77,66,55,44,33,22,11,00,ff,ee,dd,cc,bb,aa,99,88,\\\r\n"
        "  77,66,55,44,33,22,11,00,01,02\r\n"
        "\"LongerName\"=hex(7):41,00,00,00,42,00,00,00,43,00,00,00,44,00,00,00,45,00,00,\\\r\n"
        "  00,46,00,00,00,47,00,00,00,48,00,00,00,49,00,00,00,4a,00,00,00,4b,00,00,00,\\\r\n"
        "  4c,00,00,00,4d,00,00,00,4e,00,00,00,4f,00,00,00,50,00,00,00,51,00,00,00,52,\\\r\n"
        "  00,00,00,00,00,00,00,00,00,00,00\r\n"
        "\"v\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f\r\n"
        "\"abc\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        "  17,18,19,1a,1b,1c,1d,1e,1f\r\n";
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\W]\r\n";
    ASSERT_TRUE(LoadRegistryText(head, "w.reg").ok);
    std::vector<uint8_t> big = {0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0};
    big.insert(big.end(), big.begin(), big.end());
    big.insert(big.end(), {1, 2});
    std::vector<uint8_t> multi;
    for (uint8_t c = 'A'; c <= 'R'; ++c) multi.insert(multi.end(), {c, 0, 0, 0});
    multi.resize(multi.size() + 8);
    std::vector<uint8_t> counting;
    for (uint8_t b = 0; b < 0x30; ++b) counting.push_back(b);
    standin::PutValue(L"HKCU\\Software\\W", L"", REG_BINARY, big);
    standin::PutValue(L"HKCU\\Software\\W", L"LongerName", REG_MULTI_SZ, multi);
    standin::PutValue(L"HKCU\\Software\\W", L"v", REG_BINARY, counting);
    counting.resize(0x20);
    standin::PutValue(L"HKCU\\Software\\W", L"abc", REG_BINARY, counting);
    EXPECT_EQ(standin::SerializeRegistry(), head + exported);
}

TEST_F(RegFileTest, RewrittenStringKeepsTheCommentAfterIt) {
    EXPECT_EQ(SavedAfter("REGEDIT4\n\n[HKCR\\K]\n  \"v\" = \"1\" ; why\n", {{L"HKCR\\K", L"v"}}),
              "REGEDIT4\n\n[HKCR\\K]\n  \"v\" = \"new\" ; why\n");
}

TEST_F(RegFileTest, Utf16FileWithAnUnpairedSurrogateAndAnOddLastByteSavesAsItWas) {
    std::string file = Utf16File("Windows Registry Editor Version 5.00\r\n\r\n[HKCR\\K]\r\n\"v\"=\"a");
    file += std::string("\x00\xD8", 2) + Utf16File("\"\r\n").substr(2) + "x";
    ASSERT_TRUE(LoadRegistryText(file, "s.reg").ok);
    EXPECT_EQ(standin::SerializeRegistry(), file);
    EXPECT_EQ(standin::GetValue(L"HKCR\\K", L"v")->bytes, (std::vector<uint8_t>{'a', 0, 0, 0xD8, 0, 0}));
}

TEST_F(RegFileTest, EmptyPathComponentNamesNoKey) {
    ASSERT_TRUE(LoadRegistryText("REGEDIT4\n\n[HKCR\\X\\\\A]\n[HKCR\\X\\\\B]\n\"v\"=\"1\"\n", "e.reg").ok);
    EXPECT_EQ(test::Str(L"HKCR\\X\\B", L"v"), L"1");
    EXPECT_FALSE(standin::KeyExists(L"HKCR\\X\\A\\B"));
}

TEST_F(RegFileTest, MalformedFilesAreRefusedWithFileAndLine) {
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "f.reg:1: empty file"},
        {"hello\n", "f.reg:1: not a registry file"},
        {"REGEDIT4\n\"v\"=\"x\"\n", "f.reg:2: a value must follow a [key] line"},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", "f.reg:2: unknown root key"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\n", "f.reg:2: a key line must end with ']'"},
        {"REGEDIT4\n\n[HKCR\\A]\n\"v\"=\"open\n", "f.reg:4: unterminated quoted text"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=dword:123456789\n", "f.reg:3: dword: needs"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=hex:1,zz\n", "f.reg:3: malformed hexadecimal"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=sz:x\n", "f.reg:3: unknown value data"},
        {"REGEDIT4\n[HKCR\\A]\n\"a\"=\"b\" junk\n", "f.reg:3: text after the closing quote"},
        {"REGEDIT4\n[HKCR\\A]\nstray\n", "f.reg:3: unrecognised line"},
        {"REGEDIT4\n[-HKEY_CLASSES_ROOT\\]\n", "f.reg:2: a root key cannot be deleted"},
        // Regedit drops each of these values and the line after it, unlike any reading of ours.
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=hex:01 ,02\n", "f.reg:3: malformed hexadecimal"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=hex:01\\\n  02\n", "f.reg:3: malformed hexadecimal"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=hex:01,\\\n\n[HKCR\\B]\n", "f.reg:3: malformed hexadecimal"},
        {"REGEDIT4\n[HKCR\\A]\n\"v\"=hex:01,\\\n\"w\"=\"1\"\n", "f.reg:3: malformed hexadecimal"},
        // A comment ending in a backslash continues nothing: the next line stands alone.
        {"REGEDIT4\n[HKCR\\K]\n\"v\"=\"1\" ;=hex:01,\\\n D\\\\", "f.reg:4: unrecognised line"},
    };
    for (const auto& c : cases) {
        standin::LoadResult r = LoadRegistryText(c.text, "f.reg");
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error << " for " << c.text;
    }
}

TEST_F(RegFileTest, FileIsSavedWholeAndLockedWhileLoaded) {
    std::string path = ::testing::TempDir() + "vandrel_store_test.reg";
    std::ofstream(path, std::ios::binary) << kExported;
    ASSERT_TRUE(standin::LoadRegistryFile(path).ok);
    standin::PutString(L"HKCR\\AppID\\{A}", L"AppID", L"{A}");
    std::string error;
    ASSERT_TRUE(standin::SaveRegistryFile(&error)) << error;
    std::stringstream saved;
    saved << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_NE(saved.str().find("\"AppID\"=\"{A}\""), std::string::npos);
    EXPECT_NE(saved.str().find("[HKEY_USERS\\.DEFAULT\\Console]"), std::string::npos);
    standin::ReleaseRegistryFile();
    std::remove(path.c_str());
}

TEST_F(RegFileTest, SaveThatCannotWriteFailsAndLeavesTheOldFile) {
    std::string dir = ::testing::TempDir() + "vandrel_save_dir";
    std::string moved = dir + "_moved";
    std::system(("rm -rf '" + dir + "' '" + moved + "' && mkdir -p '" + dir + "'").c_str());
    std::ofstream(dir + "/r.reg", std::ios::binary) << kExported;
    ASSERT_TRUE(standin::LoadRegistryFile(dir + "/r.reg").ok);
    standin::PutString(L"HKCR\\AppID\\{A}", L"AppID", L"{A}");
    // The folder is taken away and a file stands in its place: nothing can be written there.
    ASSERT_EQ(std::rename(dir.c_str(), moved.c_str()), 0);
    std::ofstream(dir) << "not a folder";
    std::string error;
    EXPECT_FALSE(standin::SaveRegistryFile(&error));
    EXPECT_NE(error.find("r.reg"), std::string::npos) << error;
    std::stringstream old;
    old << std::ifstream(moved + "/r.reg", std::ios::binary).rdbuf();
    EXPECT_EQ(old.str(), kExported);
    standin::ReleaseRegistryFile();
    std::system(("rm -rf '" + dir + "' '" + moved + "'").c_str());
}

TEST_F(RegFileTest, MissingFileIsRefused) {
    standin::LoadResult r = standin::LoadRegistryFile("/nonexistent/dir/x.reg");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("/nonexistent/dir/x.reg"), std::string::npos);
}

}  // namespace
