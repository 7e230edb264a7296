// One key, many names: the links of 64-bit Windows' registry as a .reg file
// names them, and a run over a file that names one key two ways.
#include "app/command_options.h"
#include "platform/platform.h"
#include "provider/provider_operations.h"
#include "test_support.h"

namespace {

using standin::LoadRegistryText;
const std::string kHead = "Windows Registry Editor Version 5.00\n\n";

class KeyLinksTest : public test::StandinTest {
protected:
    void Load(const std::string& body) { ASSERT_TRUE(LoadRegistryText(kHead + body, "links.reg").ok) << body; }
    // A /D sweep over what is loaded; its status.
    int Configure() {
        CommandOptions options;
        options.optionMap["host"] = "";
        test::CapturedOutput out;
        return ConfigureProviders(options);
    }
};

TEST_F(KeyLinksTest, EveryNameOfAKeyNamesThePhysicalKey) {
    struct Case {
        std::string section;
        std::wstring physical;
    } cases[] = {
        {"HKEY_CLASSES_ROOT\\AppID\\{X}", L"HKLM\\SOFTWARE\\Classes\\AppID\\{X}"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\{X}", L"HKCR\\AppID\\{X}"},
        {"HKLM\\Software\\Classes\\AppID\\{X}", L"HKCR\\AppID\\{X}"},
        {"HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}", L"HKCR\\AppID\\{X}"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\AppID\\{X}", L"HKCR\\AppID\\{X}"},
        {"HKEY_CLASSES_ROOT\\Wow6432Node\\Protocols\\X", L"HKCR\\Protocols\\X"},
        {"HKEY_CLASSES_ROOT\\Wow6432Node\\TypeLib\\X", L"HKCR\\TypeLib\\X"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\CLSID\\X", L"HKCR\\Wow6432Node\\CLSID\\X"},
        {"HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\AppID\\X", L"HKCU\\Software\\Classes\\AppID\\X"},
        {"HKEY_CURRENT_USER\\Software\\Wow6432Node\\Classes\\CLSID\\X",
         L"HKCU\\Software\\Classes\\Wow6432Node\\CLSID\\X"},
        {"HKEY_USERS\\S-1-5-21-1_Classes\\Wow6432Node\\AppID\\X", L"HKU\\S-1-5-21-1_Classes\\AppID\\X"},
    };
    for (const auto& c : cases) {
        standin::ResetRegistry();
        Load("[" + c.section + "]\n\"v\"=\"1\"\n");
        EXPECT_EQ(test::Str(c.physical, L"v"), L"1") << c.section;
    }
}

TEST_F(KeyLinksTest, OnlyTheFiveRedirectedKeysAreNotShared) {
    // AppID, a ProgID's key and the rest are one key for both views.
    Load("[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\X]\n\"v\"=\"32\"\n"
         "[HKEY_CLASSES_ROOT\\Wow6432Node\\Media Type\\X]\n\"v\"=\"32\"\n"
         "[HKEY_CLASSES_ROOT\\Wow6432Node\\Prog.Id]\n\"v\"=\"not this\"\n"
         "[HKEY_CLASSES_ROOT\\Prog.Id]\n\"v\"=\"shared\"\n");
    for (const wchar_t* path : {L"CLSID\\X", L"Media Type\\X", L"Prog.Id"}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS) << path;
        wchar_t text[16] = {};
        DWORD size = sizeof text;
        EXPECT_EQ(RegGetValueW(key, nullptr, L"v", RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
        EXPECT_EQ(std::wstring(text), std::wstring(path) == L"Prog.Id" ? L"shared" : L"32") << path;
        RegCloseKey(key);
    }
}

TEST_F(KeyLinksTest, ValueIsTheLastLineThatSetsItUnderAnyName) {
    Load("[HKEY_CLASSES_ROOT\\AppID\\{X}]\n\"a\"=\"first\"\n\"b\"=\"kept\"\n"
         "[HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}]\n\"a\"=\"second\"\n");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{X}", L"a"), L"second");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{X}", L"b"), L"kept");
}

TEST_F(KeyLinksTest, DeletionUnderAnotherNameDeletesTheKey) {
    Load("[HKEY_CLASSES_ROOT\\AppID\\{X}]\n\"a\"=\"gone\"\n"
         "[-HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}]\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\AppID\\{X}]\n\"b\"=\"after\"\n");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{X}", L"a"), L"<missing>");
    EXPECT_EQ(test::Str(L"HKCR\\AppID\\{X}", L"b"), L"after");
}

// A recipe's file for a 32-bit surrogate names the AppID key both ways; the
// run's write must be what importing the saved file leaves.
TEST_F(KeyLinksTest, WriteLandsWhereNoLaterSectionUnderAnotherNameUndoesIt) {
    const std::string cls = "[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{X}]\n\"AppID\"=\"{X}\"\n"
                            "[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{X}\\QIV Provider]\n";
    for (const auto& [first, second] :
         {std::pair{"HKEY_CLASSES_ROOT\\AppID\\{X}", "HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}"},
          std::pair{"HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}", "HKEY_CLASSES_ROOT\\AppID\\{X}"},
          std::pair{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\AppID\\{X}", "HKEY_CLASSES_ROOT\\Wow6432Node\\AppID\\{X}"}}) {
        standin::ResetRegistry();
        standin::SetAdministrator(true);
        Load(cls + "[" + first + "]\n\"AppID\"=\"{X}\"\n\"DllSurrogate\"=\"C:\\\\old.exe\"\n\n[" + second +
             "]\n\"DllSurrogate\"=\"C:\\\\older.exe\"\n");
        ASSERT_EQ(Configure(), 0);
        std::string saved = standin::SerializeRegistry();
        EXPECT_NE(saved.find("[" + std::string(second) + "]\n\"DllSurrogate\"=\"\"\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find("\"DllSurrogate\"=\"C:\\\\old.exe\""), std::string::npos) << "a line the run did not change";
        ASSERT_TRUE(LoadRegistryText(saved, "again.reg").ok);
        EXPECT_EQ(test::Str(L"HKCR\\AppID\\{X}", L"DllSurrogate"), L"") << saved;
    }
}

}  // namespace

// HKEY_CLASSES_ROOT merged with the user's classes, as Windows merges it for
// the user whose classes those are. Wine does not merge them (its own
// conformance tests mark the merged view todo_wine), so these pin Windows'
// documented behaviour.
class MergedClassesTest : public KeyLinksTest {
protected:
    void SetUp() override {
        KeyLinksTest::SetUp();
        const std::string machine = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
        const std::string user = "HKEY_CURRENT_USER\\Software\\Classes\\";
        Load("[" + machine + "Wow6432Node\\CLSID\\{M}\\QIV Provider]\n"
             "[" + machine + "Wow6432Node\\CLSID\\{M}]\n\"AppID\"=\"{M}\"\n"
             "[" + machine + "AppID\\{M}]\n\"AppID\"=\"{M}\"\n\"DllSurrogate\"=\"machine\"\n"
             "[" + user + "AppID\\{M}]\n\"AppID\"=\"{M}\"\n\"DllSurrogate\"=\"user\"\n"
             "[" + user + "Wow6432Node\\CLSID\\{U}\\QIV Provider]\n");
    }
    std::vector<std::wstring> Shown() {
        CommandOptions options;
        test::CapturedOutput out;
        ShowProviders(options);
        return out.Lines();
    }
};

TEST_F(MergedClassesTest, ProviderRegisteredOnlyForTheUserIsFoundBesideTheMachines) {
    std::vector<std::wstring> lines = Shown();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], L"          CLSID = [{M}]");
    EXPECT_EQ(lines[5], L"          CLSID = [{U}]");
}

TEST_F(MergedClassesTest, ReadsTheUsersKeyWhereTheUserHasIt) {
    EXPECT_EQ(Shown()[3], L"   DllSurrogate = [user]");
}

TEST_F(MergedClassesTest, ValueWritesGoToTheUsersKeyAndNewKeysToTheMachine) {
    ASSERT_EQ(Configure(), 0);
    EXPECT_EQ(test::Str(L"HKCU\\Software\\Classes\\AppID\\{M}", L"DllSurrogate"), L"");
    EXPECT_EQ(test::Str(L"HKLM\\SOFTWARE\\Classes\\AppID\\{M}", L"DllSurrogate"), L"machine");
    // {U} has no AppID: its class (the user's) gets one; its AppID key is new, so the machine's.
    EXPECT_EQ(test::Str(L"HKCU\\Software\\Classes\\Wow6432Node\\CLSID\\{U}", L"AppID"), L"{U}");
    EXPECT_EQ(test::Str(L"HKLM\\SOFTWARE\\Classes\\AppID\\{U}", L"DllSurrogate"), L"");
    EXPECT_FALSE(standin::KeyExists(L"HKCU\\Software\\Classes\\AppID\\{U}"));
}

TEST_F(MergedClassesTest, EnumerationIsTheUnionWithEachNameOnce) {
    standin::PutKey(L"HKCU\\Software\\Classes\\Wow6432Node\\CLSID\\{M}");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
    std::vector<std::wstring> names;
    wchar_t name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = 64;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"{M}", L"{U}"}));
}
