// The hive store over hives built from nothing, each test changing one record
// of a well-formed hive: damage is reported, never taken for absence; a
// write changes nothing of a key but the values written.
#include <hivex.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "app/command_options.h"
#include "platform/standin/hive/regf_layout.h"
#include "platform/standin/controls/controls.h"
#include "platform/standin/reg/key_tree.h"
#include "platform/standin/text/text_codec.h"
#include "provider/provider_operations.h"
#include "support/hive_image.h"
#include "test_support.h"

namespace {

namespace regf = standin::regf;
using test::kA;
using test::kB;

const std::string kClasses = "[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\";
const std::wstring kClassesPath = L"classes\\wow6432node\\clsid";

std::string Provider(const std::wstring& clsid, const std::string& progId, const std::string& extra = "") {
    std::string id(clsid.begin(), clsid.end());
    return kClasses + id + "]\n" + extra + "\n" + kClasses + id + "\\QIV Provider]\n\n" + kClasses + id +
           "\\VersionIndependentProgID]\n@=" + progId + "\n\n";
}

class HiveStoreTest : public test::StandinTest {
protected:
    void TearDown() override {
        standin::ReleaseRegistryFile();
        std::remove(path_.c_str());
        test::StandinTest::TearDown();
    }
    // The hive of that content, not yet opened.
    void Build(const std::string& content, uint32_t minorVersion = 3) {
        ASSERT_TRUE(standin::LoadRegistryText("REGEDIT4\n\n" + content, "content.reg").ok);
        image_ = test_support::DirectHive(*standin::LoadedTree()->machine->Child(u"SOFTWARE"), minorVersion);
        standin::ResetRegistry();
        standin::SetAdministrator(true);
    }
    void Build() { Build(Provider(kA, "\"Talvek.Alpha\"") + Provider(kB, "\"Talvek.Bravo\"")); }
    // The file offset of a key's record (after its cell's size).
    size_t Record(const std::wstring& path) {
        std::u16string key;
        for (wchar_t c : path) key.push_back(standin::FoldCase(static_cast<char16_t>(c)));
        EXPECT_TRUE(image_.keys.count(key)) << "no key " << std::string(path.begin(), path.end());
        return image_.keys[key] + regf::kCellHeader;
    }
    regf::KeyRecord KeyAt(const std::wstring& path) { return regf::Read<regf::KeyRecord>(&image_.bytes[Record(path)]); }
    void Patch(size_t at, const void* bytes, size_t size) { std::memcpy(&image_.bytes[at], bytes, size); }
    standin::LoadResult Load() {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(image_.bytes.data()), static_cast<std::streamsize>(image_.bytes.size()));
        return standin::LoadHiveFile(path_);
    }
    void Open() {
        standin::LoadResult loaded = Load();
        ASSERT_TRUE(loaded.ok) << loaded.error;
    }
    // A /D sweep: its status and lines.
    int Configure(std::vector<std::wstring>* lines) {
        CommandOptions options;
        options.optionMap["host"] = "";
        test::CapturedOutput out;
        int status = ConfigureProviders(options);
        *lines = out.Lines();
        return status;
    }
    std::vector<uint8_t> Saved() {
        std::string error;
        EXPECT_TRUE(standin::SaveRegistryFile(&error)) << error;
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    test_support::HiveImage image_;
    // One file a test: ctest runs them side by side.
    std::string path_ = ::testing::TempDir() + "vandrel_hive_" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".hiv";
};

// Damage to the classes' own list: the sweep cannot read its classes.
class DamagedClassListTest : public HiveStoreTest {
protected:
    void ExpectClassesUnreadable() {
        Open();
        std::vector<std::wstring> lines;
        EXPECT_EQ(Configure(&lines), -3);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], L"ERROR: The classes cannot be read. [HKEY_CLASSES_ROOT\\CLSID] (error 1009)");
        EXPECT_FALSE(standin::RegistryChanged());
        CommandOptions show;
        test::CapturedOutput out;
        EXPECT_EQ(ShowProviders(show), 0);
        EXPECT_EQ(out.Lines().size(), 1u);  // the header alone, as for classes that cannot be read
    }
};

TEST_F(DamagedClassListTest, ListSignature) {
    Build();
    Patch(regf::kFirstBin + KeyAt(kClassesPath).subkeyList + regf::kCellHeader, "xx", 2);
    ExpectClassesUnreadable();
}

TEST_F(DamagedClassListTest, SubkeyCountOneAboveTheList) {
    Build();
    regf::KeyRecord clsid = KeyAt(kClassesPath);
    ++clsid.subkeys;
    Patch(Record(kClassesPath), &clsid, sizeof clsid);
    ExpectClassesUnreadable();
}

TEST_F(DamagedClassListTest, ListEntryNamingACellThatIsNoKey) {
    Build();
    uint32_t list = KeyAt(kClassesPath).subkeyList;
    Patch(regf::kFirstBin + list + regf::kCellHeader + sizeof(regf::ListHeader), &list, 4);  // the list itself
    ExpectClassesUnreadable();
}

// Damage below one provider: that provider fails, the others are configured.
class DamagedProviderTest : public HiveStoreTest {
protected:
    void ExpectAlphaFailsAndBravoIsConfigured() {
        Open();
        std::vector<std::wstring> lines;
        EXPECT_EQ(Configure(&lines), -3);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1], L"ERROR: Configuration failed. [" + kA + L"] (error 1009)");
        EXPECT_EQ(lines[3], L"          CLSID = [" + kB + L"]");
    }
};

TEST_F(DamagedProviderTest, ProviderClassSubkeyList) {
    Build();
    Patch(regf::kFirstBin + KeyAt(kClassesPath + L"\\" + kA).subkeyList + regf::kCellHeader, "zz", 2);
    ExpectAlphaFailsAndBravoIsConfigured();
}

TEST_F(DamagedProviderTest, MarkerKeyRecord) {
    Build();
    Patch(Record(kClassesPath + L"\\" + kA + L"\\QIV Provider"), "kn", 2);
    ExpectAlphaFailsAndBravoIsConfigured();
}

// Classes\Wow6432Node\AppID as 64-bit Windows stores it: a key flagged as a
// symbolic link whose REG_LINK SymbolicLinkValue names the shared key.
class LinkKeyTest : public HiveStoreTest {
protected:
    void WriteWithLink(const std::u16string& target) {
        Build(Provider(kA, "\"Talvek.Alpha\"", "\"AppID\"=\"{A}\"\n") +
              "[HKEY_CLASSES_ROOT\\AppID\\{A}]\n\"AppID\"=\"{A}\"\n\"DllSurrogate\"=\"C:\\\\old.exe\"\n");
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(image_.bytes.data()), static_cast<std::streamsize>(image_.bytes.size()));
        hive_h* hive = hivex_open(path_.c_str(), HIVEX_OPEN_WRITE);
        ASSERT_TRUE(hive);
        link_ = test_support::AddAppIdLink(hive, target);
        ASSERT_NE(link_, 0u);
        ASSERT_EQ(hivex_commit(hive, nullptr, 0), 0);
        hivex_close(hive);
        ASSERT_TRUE(test_support::FlagAsLink(path_, link_));
    }
    LONG OpenThroughLink(HKEY* key) {
        return RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Wow6432Node\\AppID\\{A}", 0, KEY_READ | KEY_WOW64_64KEY, key);
    }
    hive_node_h link_ = 0;
};

TEST_F(LinkKeyTest, IsFollowedToTheSharedKeyAndKeptAsALinkByAWrite) {
    WriteWithLink(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\AppID");
    ASSERT_TRUE(standin::LoadHiveFile(path_).ok);
    HKEY key = nullptr;
    ASSERT_EQ(OpenThroughLink(&key), ERROR_SUCCESS);
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegGetValueW(key, nullptr, L"DllSurrogate", RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"C:\\old.exe");
    RegCloseKey(key);
    std::vector<std::wstring> lines;
    ASSERT_EQ(Configure(&lines), 0);
    Saved();
    standin::ReleaseRegistryFile();
    hive_h* hive = hivex_open(path_.c_str(), 0);
    ASSERT_TRUE(hive);
    hive_value_h target = hivex_node_get_value(hive, link_, "SymbolicLinkValue");
    hive_type type{};
    size_t length = 0;
    EXPECT_EQ(hivex_value_type(hive, target, &type, &length), 0);
    EXPECT_EQ(type, hive_t_REG_LINK);
    EXPECT_EQ(hivex_node_nr_children(hive, link_), 0u) << "nothing was written below the link key";
    hive_node_h shared = hivex_node_get_child(hive, hivex_node_get_child(hive, hivex_root(hive), "Classes"), "AppID");
    std::unique_ptr<char, decltype(&std::free)> host(
        hivex_value_string(hive, hivex_node_get_value(hive, hivex_node_get_child(hive, shared, "{A}"), "DllSurrogate")),
        &std::free);
    EXPECT_STREQ(host.get(), "");
    hivex_close(hive);
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(link_ + regf::kCellHeader + offsetof(regf::KeyRecord, flags)));
    uint16_t flags = 0;
    in.read(reinterpret_cast<char*>(&flags), 2);
    EXPECT_TRUE(flags & regf::kSymbolicLink);
}

TEST_F(LinkKeyTest, TargetOutsideTheHiveOrALoopIsDamage) {
    for (const std::u16string& target : {std::u16string(u"\\REGISTRY\\MACHINE\\SYSTEM\\Classes\\AppID"),
                                         std::u16string(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\AppID")}) {
        WriteWithLink(target);
        ASSERT_TRUE(standin::LoadHiveFile(path_).ok);
        HKEY key = nullptr;
        EXPECT_EQ(OpenThroughLink(&key), ERROR_BADDB);
        standin::ReleaseRegistryFile();
    }
}

TEST_F(HiveStoreTest, BaseBlockNamingOtherBytesThanWholeBinsHoldIsRefused) {
    // libhivex reads every bin to the file's end whatever the base block
    // names; Windows reads only whole bins, as many as it names.
    const std::pair<uint32_t, std::string> cases[] = {
        {100, "it names 100 bytes of hive bins, but the bin at offset 0 runs to "},
        {11, "it names 11 bytes of hive bins, but whole bins fill 0 of them"},
    };
    for (const auto& [binsSize, words] : cases) {
        Build();
        Patch(offsetof(regf::BaseBlock, binsSize), &binsSize, sizeof binsSize);
        uint32_t sum = regf::Checksum(image_.bytes.data());
        Patch(offsetof(regf::BaseBlock, checksum), &sum, sizeof sum);
        standin::LoadResult loaded = Load();
        EXPECT_FALSE(loaded.ok) << binsSize;
        EXPECT_NE(loaded.error.find(": the hive's base block is damaged (" + words), std::string::npos) << loaded.error;
    }
}

TEST_F(HiveStoreTest, WriteThatWouldRewriteABigDataValueIsRefusedAndTheValueKeepsItsForm) {
    std::string blob = "\"Blob\"=hex:00";
    for (int i = 0; i < 20000; ++i) blob += ",5a";
    Build(Provider(kA, "\"Talvek.Alpha\"", blob + "\n") + Provider(kB, "\"Talvek.Bravo\""), 5);
    Open();
    std::vector<std::wstring> lines;
    EXPECT_EQ(Configure(&lines), -3);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], L"ERROR: Configuration failed. [" + kA + L"] (error 50)");
    std::vector<uint8_t> saved = Saved();
    // Alpha's value list, its one value and that value's data: still a big-data record.
    regf::KeyRecord alpha = regf::Read<regf::KeyRecord>(&saved[Record(kClassesPath + L"\\" + kA)]);
    uint32_t values = alpha.values;
    ASSERT_EQ(values, 1u);
    uint32_t vkCell;
    std::memcpy(&vkCell, &saved[regf::kFirstBin + alpha.valueList + regf::kCellHeader], 4);
    auto vk = regf::Read<regf::ValueRecord>(&saved[regf::kFirstBin + vkCell + regf::kCellHeader]);
    uint32_t dataSize = vk.dataSize;
    EXPECT_EQ(dataSize, 20001u);
    EXPECT_EQ(std::memcmp(&saved[regf::kFirstBin + vk.dataOffset + regf::kCellHeader], "db", 2), 0);
}

TEST_F(HiveStoreTest, ValueOfATypeBeyondTheConstantsIsReadSafely) {
    Build(Provider(kA, "hex(80000001):54,00,00,00"));
    Open();
    CommandOptions show;
    test::CapturedOutput out;
    EXPECT_EQ(ShowProviders(show), 0);
    ASSERT_EQ(out.Lines().size(), 4u);
    EXPECT_EQ(out.Lines()[1], L"Provider ProgID = []");  // not a string
}

TEST_F(HiveStoreTest, KeysTheRunWritesGetTheTimeOfTheWriteAndOthersKeepTheirs) {
    Build(Provider(kA, "\"Talvek.Alpha\"") + "[HKEY_CLASSES_ROOT\\Untouched]\n");
    Open();
    std::vector<std::wstring> lines;
    auto before = std::chrono::system_clock::now();
    ASSERT_EQ(Configure(&lines), 0);
    std::vector<uint8_t> saved = Saved();
    uint64_t earliest =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(before.time_since_epoch()).count() / 100) +
        116444736000000000ull - 10'000'000;
    auto keyTime = [&](const std::wstring& path) -> uint64_t {
        return regf::Read<regf::KeyRecord>(&saved[Record(path)]).lastWritten;
    };
    EXPECT_GE(keyTime(kClassesPath + L"\\" + kA), earliest);
    EXPECT_EQ(keyTime(L"classes\\untouched"), 0x01D0000000000000ull);
    auto base = regf::Read<regf::BaseBlock>(saved.data());
    uint64_t baseTime = base.lastWritten;
    uint32_t checksum = base.checksum;
    EXPECT_GE(baseTime, earliest);
    EXPECT_EQ(checksum, regf::Checksum(saved.data()));
    // The new AppID key and its parent, the classes' AppID key, too.
    hive_h* hive = hivex_open(path_.c_str(), 0);
    ASSERT_NE(hive, nullptr);
    hive_node_h appIds = hivex_node_get_child(hive, hivex_node_get_child(hive, hivex_root(hive), "Classes"), "AppID");
    std::string id(kA.begin(), kA.end());
    hive_node_h appId = hivex_node_get_child(hive, appIds, id.c_str());
    EXPECT_GE(static_cast<uint64_t>(hivex_node_timestamp(hive, appId)), earliest);
    EXPECT_GE(static_cast<uint64_t>(hivex_node_timestamp(hive, appIds)), earliest);
    hivex_close(hive);
}

TEST_F(HiveStoreTest, RunThatWritesWhatIsThereAlreadyChangesNothing) {
    Build();
    Open();
    std::vector<std::wstring> lines;
    ASSERT_EQ(Configure(&lines), 0);
    EXPECT_TRUE(standin::RegistryChanged());
    Saved();
    standin::ReleaseRegistryFile();
    ASSERT_TRUE(standin::LoadHiveFile(path_).ok);
    ASSERT_EQ(Configure(&lines), 0);
    EXPECT_FALSE(standin::RegistryChanged());
}

// The test controls reach keys through the store seam: on a hive as on a tree.
TEST_F(HiveStoreTest, DeletedKeyIsGoneFromItsParentItsHandlesAndTheSavedHive) {
    Build();
    Open();
    using test::kClsid32;
    HKEY open = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"Wow6432Node\\CLSID\\" + kB + L"\\QIV Provider").c_str(), 0,
                            KEY_READ, &open),
              ERROR_SUCCESS);
    ASSERT_TRUE(standin::DeleteKey(kClsid32 + kB));
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(open, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    RegCloseKey(open);
    EXPECT_FALSE(standin::KeyExists(kClsid32 + kB));
    EXPECT_EQ(standin::SubkeyNames(L"HKCR\\Wow6432Node\\CLSID"), std::vector<std::wstring>{kA});
    ASSERT_TRUE(standin::PutString(kClsid32 + kB, L"", L"made again"));
    Saved();
    standin::ReleaseRegistryFile();
    ASSERT_TRUE(standin::LoadHiveFile(path_).ok);
    EXPECT_FALSE(standin::KeyExists(kClsid32 + kB + L"\\QIV Provider"));
    EXPECT_EQ(standin::GetString(kClsid32 + kB, L""), L"made again");
    std::wstring id = kA;
    for (wchar_t& c : id) c = static_cast<wchar_t>(std::towlower(c));
    EXPECT_TRUE(standin::TakeSnapshot().count(L"hkey_local_machine\\software\\classes\\wow6432node\\clsid\\" +
                                              id + L"\\qiv provider"));
}

TEST_F(HiveStoreTest, AccessDeniedOnAHiveKeyIsRefusedAsOnATree) {
    Build();
    Open();
    ASSERT_TRUE(standin::DenyAccess(test::kClsid32 + kA, true, false));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"Wow6432Node\\CLSID\\" + kA).c_str(), 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"Wow6432Node\\CLSID\\" + kB).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace
