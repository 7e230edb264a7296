// What engines get: /L lists exactly what /C then writes, /U= restores
// exactly what /C changed, and /J is ASCII JSON that loses nothing.
#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/output_form.h"
#include "provider/provider_operations.h"
#include "provider/undo_file.h"
#include "test_support.h"

namespace {

using namespace test;
const std::wstring kD = L"{5E1C7A10-3B2D-4C8E-9F01-00000000D4E1}";
const std::wstring kE = L"{5E1C7A10-3B2D-4C8E-9F01-00000000E5C0}";
const std::wstring kShared = L"{7B0E2D44-1A6C-4F3B-8E27-0000000005A1}";
const std::wstring kF = L"{5E1C7A10-3B2D-4C8E-9F01-00000000F6B3}";
const std::wstring kG = L"{5E1C7A10-3B2D-4C8E-9F01-00000000F7C4}";
const std::wstring kH = L"{5E1C7A10-3B2D-4C8E-9F01-00000000F8D5}";
const std::wstring kOldShared = L"{7B0E2D44-1A6C-4F3B-8E27-0000000006B2}";

// Providers in every state of their AppID: none (A); a complete key (B); a key
// without its "AppID" value (C); a key that does not exist (D); two sharing
// one key that does not exist yet (E and the plain class's twin); a key that
// lacks only its "AppID" value (F); two sharing one complete key (G and H).
class EngineTest : public test::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        AddProvider(kA, L"Talvek.Alpha");
        AddProvider(kB, L"Talvek.Bravo");
        standin::PutString(kClsid32 + kB, L"AppID", kB);
        standin::PutString(kAppIds + kB, L"AppID", kB);
        standin::PutString(kAppIds + kB, L"DllSurrogate", L"C:\\old.exe");
        AddProvider(kC, L"Talvek.Charlie");
        standin::PutString(kClsid32 + kC, L"AppID", kC);
        standin::PutValue(kAppIds + kC, L"", REG_SZ, {'h', 0, 'i'});  // odd-sized, no NUL
        standin::PutValue(kAppIds + kC, L"DllSurrogate", REG_EXPAND_SZ, standin::Utf16Bytes(L"%x%"));
        AddProvider(kD);
        standin::PutString(kClsid32 + kD, L"AppID", L"{MISSING}");
        for (const std::wstring& id : {kE, kShared}) {
            AddProvider(id);
            standin::PutString(kClsid32 + id, L"AppID", L"{SHARED}");
        }
        AddProvider(kF);
        standin::PutString(kClsid32 + kF, L"AppID", kF);
        standin::PutString(kAppIds + kF, L"", L"Old.Name");
        standin::PutString(kAppIds + kF, L"DllSurrogate", L"C:\\old.exe");
        for (const std::wstring& id : {kG, kH}) {
            AddProvider(id);
            standin::PutString(kClsid32 + id, L"AppID", kOldShared);
        }
        standin::PutString(kAppIds + kOldShared, L"", L"Shared");
        standin::PutString(kAppIds + kOldShared, L"AppID", kOldShared);
        standin::PutString(kAppIds + kOldShared, L"DllSurrogate", L"C:\\old.exe");
    }
    int Run(bool listOnly, const std::string& undo = "", std::vector<std::wstring>* lines = nullptr) {
        CommandOptions o;
        o.optionMap["host"] = "";
        o.listOnly = listOnly;
        o.undoPath = undo;
        test::CapturedOutput out;
        int status = ConfigureProviders(o);
        if (lines) *lines = out.Lines();
        return status;
    }
};

// The values that differ between two snapshots: what a run wrote.
std::map<std::wstring, standin::RawValue> Changes(const standin::Snapshot& before, const standin::Snapshot& after) {
    std::map<std::wstring, standin::RawValue> changes;
    for (const auto& [key, values] : after)
        for (const auto& [name, value] : values) {
            auto old = before.find(key);
            if (old == before.end() || !old->second.count(name) || old->second.at(name) != value)
                changes[key + L"|" + name] = value;
        }
    return changes;
}

TEST_F(EngineTest, ListOnlyListsExactlyWhatTheRunThenWrites) {
    standin::Snapshot before = standin::TakeSnapshot();
    std::vector<std::wstring> lines;
    EXPECT_EQ(Run(true, "", &lines), 1);
    EXPECT_EQ(standin::TakeSnapshot(), before) << "listing wrote";
    EXPECT_EQ(lines[0], L"Provider DllSurrogate configuration (list only). ");
    std::map<std::wstring, standin::RawValue> listed;
    const std::wstring label = L"    Would write = [HKEY_CLASSES_ROOT\\";
    for (const std::wstring& line : lines) {
        if (line.rfind(label, 0) != 0) continue;
        size_t close = line.find(L"] \"");
        std::wstring key = line.substr(label.size(), close - label.size());
        size_t nameEnd = line.find(L"\" = [", close);
        std::wstring name = line.substr(close + 3, nameEnd - close - 3);
        std::wstring text = line.substr(nameEnd + 5, line.size() - nameEnd - 6);
        if (key.rfind(L"CLSID\\", 0) == 0) key = L"Wow6432Node\\" + key;
        std::wstring path = L"hkey_local_machine\\software\\classes\\" + key;
        for (auto& c : path) c = static_cast<wchar_t>(std::towlower(c));
        for (auto& c : name) c = static_cast<wchar_t>(std::towlower(c));
        EXPECT_FALSE(listed.count(path + L"|" + name)) << "listed twice: " << std::string(line.begin(), line.end());
        listed[path + L"|" + name] = standin::RawValue{REG_SZ, standin::Utf16Bytes(text)};
    }
    EXPECT_EQ(Run(false), 0);
    EXPECT_EQ(listed, Changes(before, standin::TakeSnapshot()));
    EXPECT_EQ(Run(true), 0) << "a configured registry lists nothing";
}

TEST_F(EngineTest, ListOnlyNeedsNoRights) {
    standin::SetAdministrator(false);
    EXPECT_EQ(Run(true), 1);
    EXPECT_EQ(Run(false), -1);
}

TEST_F(EngineTest, ListOnlyRefusesAnAppIdAsTheRunRefusesIt) {
    const std::wstring bad = L"{5E1C7A10-3B2D-4C8E-9F01-00000000BAD0}";
    AddProvider(bad);
    standin::PutString(kClsid32 + bad, L"AppID", L"..\\AppID\\" + kB);
    const std::wstring refused = L"ERROR: Configuration failed. [" + bad + L"] (error 13)";
    std::vector<std::wstring> listed, run;
    EXPECT_EQ(Run(true, "", &listed), -3);
    EXPECT_EQ(Run(false, "", &run), -3);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), refused), 1);
    EXPECT_EQ(std::count(run.begin(), run.end(), refused), 1);
}

// The names of a new key's values in the order each output gives them.
std::vector<std::wstring> NamesAfter(const std::vector<std::wstring>& lines, const std::wstring& start,
                                     const std::wstring& end) {
    std::vector<std::wstring> names;
    for (const std::wstring& line : lines)
        for (size_t at = line.find(start); at != std::wstring::npos; at = line.find(start, at + 1)) {
            size_t from = at + start.size();
            names.push_back(line.substr(from, line.find(end, from) - from));
        }
    return names;
}

TEST_F(EngineTest, ListAndJsonNameANewKeysValuesInTheOrderTheRunWritesThem) {
    std::vector<std::wstring> listed, json;
    Run(true, "", &listed);
    UseJsonLines(true);
    Run(true, "", &json);
    UseJsonLines(false);
    EXPECT_EQ(Run(false), 0);
    // The registry file keeps a key's values in the order they were set.
    std::string saved = standin::SerializeRegistry();
    std::wstring text;
    for (size_t i = 2; i + 1 < saved.size(); i += 2) text.push_back(static_cast<wchar_t>(saved[i]));
    size_t section = text.find(L"\\AppID\\{MISSING}]");
    ASSERT_NE(section, std::wstring::npos);
    std::wistringstream values(text.substr(text.find(L'\n', section) + 1));
    std::vector<std::wstring> written;
    for (std::wstring line; std::getline(values, line) && line.size() > 1;)
        written.push_back(line[0] == L'@' ? L"" : line.substr(1, line.find(L'"', 1) - 1));
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(NamesAfter(listed, L"\\AppID\\{MISSING}] \"", L"\""), written);
    std::vector<std::wstring> objectOfD;
    for (const std::wstring& line : json)
        if (line.find(kD) != std::wstring::npos) objectOfD.push_back(line);
    EXPECT_EQ(NamesAfter(objectOfD, L"\"name\": \"", L"\""), written);
}

TEST_F(EngineTest, UndoFileThatCannotBeFlushedStopsTheRunBeforeItsFirstWrite) {
    std::string undo = ::testing::TempDir() + "vandrel_undo_flush_test.reg";
    std::remove(undo.c_str());
    standin::Snapshot before = standin::TakeSnapshot();
    standin::FailCall("FlushFileBuffers", 2, ERROR_WRITE_FAULT);  // the first provider's records, after the header
    std::vector<std::wstring> lines;
    EXPECT_EQ(Run(false, undo, &lines), -3);
    EXPECT_EQ(standin::TakeSnapshot(), before) << "a value was written that the undo file does not protect";
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind(L"ERROR: The undo file could not be written; the run stopped before its next write.", 0),
              0u);
    std::remove(undo.c_str());
}

TEST_F(EngineTest, UndoFileRestoresEveryValueAndKeyTheRunChanged) {
    std::string undo = ::testing::TempDir() + "vandrel_undo_test.reg";
    std::remove(undo.c_str());
    std::string before = standin::SerializeRegistry();
    standin::Snapshot was = standin::TakeSnapshot();
    EXPECT_EQ(Run(false, undo), 0);
    EXPECT_EQ(Run(false, undo), -3) << "an existing undo file is never overwritten";
    std::ifstream in(undo, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    // Imported over the configured registry (as reg import /reg:32 does: its
    // CLSID is the 32-bit view's), the registry is as it was.
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);  // the file is ASCII here
    std::string redirected;
    for (size_t at = 0, next; at < text.size(); at = next) {
        next = text.find('\n', at);
        next = next == std::string::npos ? text.size() : next + 1;
        std::string line = text.substr(at, next - at);
        for (const char* view : {"[HKEY_CLASSES_ROOT\\CLSID\\", "[-HKEY_CLASSES_ROOT\\CLSID\\"}) {
            std::string prefix = view;
            if (line.rfind(prefix, 0) == 0) line.insert(prefix.size() - 6, "Wow6432Node\\");
        }
        if (line.rfind("Windows Registry Editor", 0) != 0) redirected += line;
    }
    std::string after = standin::SerializeRegistry();
    std::string utf8;
    for (size_t i = 2; i + 1 < after.size(); i += 2) utf8.push_back(after[i]);
    ASSERT_TRUE(standin::LoadRegistryText(utf8 + "\r\n" + redirected, "restored.reg").ok);
    EXPECT_EQ(standin::TakeSnapshot(), was);
    std::remove(undo.c_str());
}

TEST_F(EngineTest, JsonLinesSayPerProviderWhatChangedAndWhatFailed) {
    UseJsonLines(true);
    standin::DenyAccess(kAppIds + kB, false, true);
    std::vector<std::wstring> lines;
    EXPECT_EQ(Run(false, "", &lines), -3);
    ASSERT_EQ(lines.size(), 9u) << "one object a provider, no header";
    for (const std::wstring& line : lines) {
        EXPECT_EQ(line.front(), L'{');
        for (wchar_t c : line) EXPECT_TRUE(c >= 0x20 && c <= 0x7E);
    }
    EXPECT_NE(lines[0].find(L"\"clsid\": \"" + kA + L"\""), std::wstring::npos);
    EXPECT_NE(lines[0].find(L"\"changed\": true, \"status\": 0}"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L"\"dllSurrogate\": \"C:\\\\old.exe\", \"written\": [], \"changed\": false, \"status\": 5}"),
              std::wstring::npos) << std::string(lines[1].begin(), lines[1].end());
    standin::DenyAccess(kAppIds + kB, false, false);
    EXPECT_EQ(Run(false, "", &lines), 0);
    EXPECT_NE(lines[0].find(L"\"written\": [], \"changed\": false"), std::wstring::npos);
    UseJsonLines(false);
}

TEST(UndoValueLineTest, EveryPriorTypeAndSizeComesBackExactly) {
    auto bytes = [](std::initializer_list<int> list) { return std::vector<uint8_t>(list.begin(), list.end()); };
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({'a', 0, '"', 0, '\\', 0, 0, 0})), L"\"v\"=\"a\\\"\\\\\"");
    EXPECT_EQ(UndoValueLine(L"", REG_SZ, bytes({0, 0})), L"@=\"\"");
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({'a', 0})), L"\"v\"=hex(1):61,00");                // no NUL
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({'a', 0, 0})), L"\"v\"=hex(1):61,00,00");          // odd size
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({'a', 0, 0, 0, 'b', 0, 0, 0})), L"\"v\"=hex(1):61,00,00,00,62,00,00,00");
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({'\n', 0, 0, 0})), L"\"v\"=hex(1):0a,00,00,00");   // a line break
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({0x00, 0xD8, 0, 0})), L"\"v\"=hex(1):00,d8,00,00"); // lone surrogate
    EXPECT_EQ(UndoValueLine(L"v", REG_SZ, bytes({})), L"\"v\"=hex(1):");
    EXPECT_EQ(UndoValueLine(L"v", REG_DWORD, bytes({1, 2, 3, 4})), L"\"v\"=dword:04030201");
    EXPECT_EQ(UndoValueLine(L"v", REG_DWORD, bytes({1, 2, 3})), L"\"v\"=hex(4):01,02,03");
    EXPECT_EQ(UndoValueLine(L"v", REG_BINARY, bytes({0xff})), L"\"v\"=hex:ff");
    EXPECT_EQ(UndoValueLine(L"v", REG_EXPAND_SZ, bytes({'x', 0, 0, 0})), L"\"v\"=hex(2):78,00,00,00");
    EXPECT_EQ(UndoValueLine(L"v", 0x80000001, bytes({7})), L"\"v\"=hex(80000001):07");
}

TEST(JsonStringTest, IsAsciiAndKeepsEveryCodeUnit) {
    EXPECT_EQ(JsonString(std::wstring(L"a\"b\\c")), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString(std::wstring(L"\x01\t\x7f", 3)), "\"\\u0001\\u0009\\u007F\"");
    EXPECT_EQ(JsonString(std::wstring(L"T\u00e4lvek-\u30c4")), "\"T\\u00E4lvek-\\u30C4\"");
    std::wstring astral = sizeof(wchar_t) == 4 ? std::wstring(1, static_cast<wchar_t>(0x1F600))
                                               : std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(JsonString(astral), "\"\\uD83D\\uDE00\"");
    EXPECT_EQ(JsonString(std::wstring(1, static_cast<wchar_t>(0xD800))), "\"\\uD800\"");  // unpaired: as stored
    EXPECT_EQ(JsonString(std::wstring(L"a\0b", 3)), "\"a\\u0000b\"");
}

}  // namespace
