// The hive store on any hive: what a sweep of the 32-bit view's classes sees
// through the registry functions is what libhivex reads of the same bytes.
// Where libhivex lists a key's subkeys, the store lists the same names in the
// same order; where it cannot, the store says the key cannot be read
// (ERROR_BADDB) and never takes it for empty. The input's base block gets a
// right checksum, so that mutations reach the bins.
#include <hivex.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "platform/standin/hive/hive_store.h"
#include "platform/standin/hive/regf_layout.h"
#include "platform/standin/store/store.h"
#include "platform/standin/text/text_codec.h"

namespace {

namespace regf = standin::regf;

enum class Listing { Names, NoList, NoName };

// libhivex's reading of a key's subkey names: NoList when it cannot list the
// subkeys, NoName when it cannot give one's name in UTF-8.
Listing HivexNames(hive_h* hive, hive_node_h node, std::vector<std::string>* names) {
    hive_node_h* children = hivex_node_children(hive, node);
    if (!children) return Listing::NoList;
    Listing result = Listing::Names;
    for (size_t i = 0; children[i] && result == Listing::Names; ++i) {
        char* name = hivex_node_name(hive, children[i]);
        if (name) names->push_back(name);
        else result = Listing::NoName;
        std::free(name);
    }
    std::free(children);
    return result;
}

// Whether a key's stored name holds a NUL. libhivex's name is a C string
// that ends there, so it takes "CLSID\0x" for "CLSID"; Windows and the store
// compare every character of the name and do not.
bool NameHoldsNul(const std::vector<uint8_t>& bytes, hive_node_h node) {
    size_t at = node + regf::kCellHeader;
    if (at + sizeof(regf::KeyRecord) > bytes.size()) return true;
    auto record = regf::Read<regf::KeyRecord>(bytes.data() + at);
    const uint8_t* name = bytes.data() + at + sizeof record;
    size_t length = std::min<size_t>(record.nameLength, bytes.size() - at - sizeof record);
    size_t unit = record.flags & regf::kAsciiName ? 1 : 2;
    for (size_t i = 0; i + unit <= length; i += unit)
        if (name[i] == 0 && name[i + unit - 1] == 0) return true;
    return false;
}

// The child of that name as libhivex finds it, or 0 where libhivex's finding
// is not the key of that name.
hive_node_h HivexChild(hive_h* hive, const std::vector<uint8_t>& bytes, hive_node_h node, const char* name) {
    hive_node_h child = node ? hivex_node_get_child(hive, node, name) : 0;
    return child && !NameHoldsNul(bytes, child) ? child : 0;
}

// The store's reading of the same key through the registry functions.
LONG StoreNames(std::vector<std::string>* names) {
    HKEY classes = nullptr;
    LONG status = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ | KEY_WOW64_32KEY, &classes);
    if (status) return status;
    DWORD count = 0, longest = 0;
    status = RegQueryInfoKeyW(classes, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    std::vector<wchar_t> buffer(longest + 1);
    for (DWORD i = 0; status == ERROR_SUCCESS && i < count; ++i) {
        DWORD chars = static_cast<DWORD>(buffer.size());
        status = RegEnumKeyExW(classes, i, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
        if (status) break;
        std::u16string name = standin::WideToUtf16(std::wstring_view(buffer.data(), chars));
        name = name.substr(0, name.find(u'\0'));  // libhivex gives C strings
        names->push_back(standin::Utf16ToUtf8(name));
        HKEY marker = nullptr;
        std::wstring path(buffer.data(), chars);
        if (path.find(L'\0') == std::wstring::npos &&
            RegOpenKeyExW(classes, (path + L"\\QIV Provider").c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &marker) == 0)
            RegCloseKey(marker);
    }
    RegCloseKey(classes);
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < regf::kBaseBlockSize) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    uint32_t sum = regf::Checksum(bytes.data());
    std::memcpy(&bytes[offsetof(regf::BaseBlock, checksum)], &sum, 4);
    // One name for every run, since the names the store compares feed the
    // fuzzer's mutations: one process of this target at a time on a machine.
    // The store is opened as it is, without the run's lock on the file,
    // whose checks compare the file's inode and its folder's other names:
    // those differ from run to run and would steer the mutations.
    static const std::string path = "/tmp/vandrel_fuzz_hive.hiv";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    standin::ResetRegistry();
    std::string error;
    std::unique_ptr<standin::HiveStore> store = standin::HiveStore::Open(path, &error);
    if (!store) return 0;
    standin::UseStore(std::move(store));
    std::vector<std::string> stored;
    LONG status = StoreNames(&stored);

    hive_h* hive = hivex_open(path.c_str(), 0);
    if (!hive) __builtin_trap();  // the store opened what libhivex refuses
    hive_node_h classes = HivexChild(hive, bytes, hivex_root(hive), "Classes");
    hive_node_h wow = HivexChild(hive, bytes, classes, "Wow6432Node");
    hive_node_h clsid = HivexChild(hive, bytes, wow ? wow : classes, "CLSID");
    std::vector<std::string> read;
    Listing listing = clsid ? HivexNames(hive, clsid, &read) : Listing::NoName;
    hivex_close(hive);
    standin::ReleaseRegistryFile();
    if (listing == Listing::Names && (status != ERROR_SUCCESS || stored != read)) __builtin_trap();
    if (listing == Listing::NoList && status == ERROR_SUCCESS) __builtin_trap();  // damage taken for a list
    fuzz::ExpectNothingOpen();
    return 0;
}
