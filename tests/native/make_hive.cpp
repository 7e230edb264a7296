// Test support: a SOFTWARE hive built from nothing, then filled through
// libhivex. The file starts as the smallest hive the format allows (a base
// block, one hive bin holding the root key and its security cell); the keys
// and values of a .reg file below HKEY_LOCAL_MACHINE\SOFTWARE (its classes,
// HKEY_CLASSES_ROOT, are SOFTWARE\Classes) are then added through libhivex.
// With --direct the whole content is written as cells in one pass instead:
// libhivex, adding keys one at a time, grows a hive of many thousands of
// classes far beyond its content, so benchmark hives come this way.
// Usage: make_hive [--direct] <hive> [<content.reg>]
#include <hivex.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/standin/registry_state.h"
#include "platform/standin/standin.h"
#include "platform/standin/text_codec.h"

namespace {

constexpr size_t kBlock = 4096;

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The base block, one bin with the root key "ROOT", its security cell, and
// the rest of the bin as one free cell.
std::vector<uint8_t> EmptyHive() {
    std::vector<uint8_t> h(2 * kBlock, 0);
    std::memcpy(&h[0], "regf", 4);
    Put32(h, 0x04, 1);       // primary sequence number
    Put32(h, 0x08, 1);       // secondary: equal, a clean hive
    Put32(h, 0x14, 1);       // major version
    Put32(h, 0x18, 3);       // minor version
    Put32(h, 0x1C, 0);       // primary file
    Put32(h, 0x20, 1);       // file format
    Put32(h, 0x24, 0x20);    // root key cell, relative to the first bin
    Put32(h, 0x28, kBlock);  // hive bins data size
    Put32(h, 0x2C, 1);       // clustering factor
    uint32_t sum = 0;
    for (size_t i = 0; i < 0x1FC; i += 4) sum ^= h[i] | (h[i + 1] << 8) | (h[i + 2] << 16) | (uint32_t(h[i + 3]) << 24);
    if (sum == 0) sum = 1;
    if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
    Put32(h, 0x1FC, sum);

    const size_t bin = kBlock;
    std::memcpy(&h[bin], "hbin", 4);
    Put32(h, bin + 4, 0);       // this bin's offset
    Put32(h, bin + 8, kBlock);  // its size

    const uint32_t nkCell = 0x20, nkSize = 88, skCell = nkCell + nkSize, skSize = 80;
    size_t nk = bin + nkCell;
    Put32(h, nk, static_cast<uint32_t>(-static_cast<int32_t>(nkSize)));
    std::memcpy(&h[nk + 4], "nk", 2);
    Put16(h, nk + 6, 0x2C);           // root key, ASCII name
    Put32(h, nk + 4 + 16, 0xFFFFFFFF);  // parent: none
    Put32(h, nk + 4 + 28, 0xFFFFFFFF);  // subkey list: none
    Put32(h, nk + 4 + 32, 0xFFFFFFFF);  // volatile subkey list: none
    Put32(h, nk + 4 + 40, 0xFFFFFFFF);  // value list: none
    Put32(h, nk + 4 + 44, skCell);      // security
    Put32(h, nk + 4 + 48, 0xFFFFFFFF);  // class name: none
    Put16(h, nk + 4 + 72, 4);           // name length
    std::memcpy(&h[nk + 4 + 76], "ROOT", 4);

    size_t sk = bin + skCell;
    Put32(h, sk, static_cast<uint32_t>(-static_cast<int32_t>(skSize)));
    std::memcpy(&h[sk + 4], "sk", 2);
    Put32(h, sk + 8, skCell);   // flink: itself
    Put32(h, sk + 12, skCell);  // blink: itself
    Put32(h, sk + 16, 1);       // references: the root
    static const uint8_t kAdministrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0};
    Put32(h, sk + 20, 20 + 16 + 16);  // descriptor size
    size_t sd = sk + 24;
    h[sd] = 1;                  // revision
    Put16(h, sd + 2, 0x8004);   // self-relative, DACL present (a null DACL)
    Put32(h, sd + 4, 20);       // owner
    Put32(h, sd + 8, 36);       // group
    std::memcpy(&h[sd + 20], kAdministrators, 16);
    std::memcpy(&h[sd + 36], kAdministrators, 16);

    size_t freeCell = bin + skCell + skSize;
    Put32(h, freeCell, static_cast<uint32_t>(2 * kBlock - freeCell));
    return h;
}

bool CopyKey(hive_h* hive, hive_node_h node, const standin::Key& key) {
    for (const standin::Value& v : key.Values()) {
        std::string name = standin::Utf16ToUtf8(v.name);
        std::vector<uint8_t> data = v.Data();
        hive_set_value value{name.data(), static_cast<hive_type>(v.type), data.size(),
                             reinterpret_cast<char*>(data.data())};
        if (hivex_node_set_value(hive, node, &value, 0) != 0) return false;
    }
    for (const standin::Key* child : key.OrderedChildren()) {
        std::string name = standin::Utf16ToUtf8(child->Name().ToUtf16());
        hive_node_h made = hivex_node_get_child(hive, node, name.c_str());
        if (!made) made = hivex_node_add_child(hive, node, name.c_str());
        if (!made || !CopyKey(hive, made, *child)) return false;
    }
    return true;
}

// The whole tree as cells of one hive bin, written in one pass.
class DirectWriter {
public:
    std::vector<uint8_t> Write(const standin::Key& software) {
        bin_.assign(32, 0);
        sk_ = SecurityCell();
        uint32_t root = WriteKey(software, 0xFFFFFFFF, true);
        Put32(bin_, sk_ + 4 + 12, keys_);  // every key refers to the one security cell
        size_t size = (bin_.size() + 8 + kBlock - 1) / kBlock * kBlock;
        size_t freeCell = bin_.size();
        bin_.resize(size, 0);
        Put32(bin_, freeCell, static_cast<uint32_t>(size - freeCell));
        std::memcpy(&bin_[0], "hbin", 4);
        Put32(bin_, 8, static_cast<uint32_t>(size));
        std::vector<uint8_t> hive = EmptyHive();
        hive.resize(kBlock);
        Put32(hive, 0x24, root);
        Put32(hive, 0x28, static_cast<uint32_t>(size));
        uint32_t sum = 0;
        for (size_t i = 0; i < 0x1FC; i += 4)
            sum ^= hive[i] | (hive[i + 1] << 8) | (hive[i + 2] << 16) | (uint32_t(hive[i + 3]) << 24);
        Put32(hive, 0x1FC, sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum);
        hive.insert(hive.end(), bin_.begin(), bin_.end());
        return hive;
    }

private:
    // A new cell of at least `bytes` (after its size field); its offset in the bin.
    uint32_t Cell(size_t bytes) {
        size_t size = (bytes + 4 + 7) / 8 * 8;
        auto at = static_cast<uint32_t>(bin_.size());
        bin_.resize(bin_.size() + size, 0);
        Put32(bin_, at, static_cast<uint32_t>(-static_cast<int32_t>(size)));
        return at;
    }

    uint32_t SecurityCell() {
        uint32_t at = Cell(20 + 52);
        std::memcpy(&bin_[at + 4], "sk", 2);
        Put32(bin_, at + 8, at);
        Put32(bin_, at + 12, at);
        Put32(bin_, at + 20, 52);
        size_t sd = at + 24;
        static const uint8_t kAdministrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 0x20, 0, 0, 0, 0x20, 2, 0, 0};
        bin_[sd] = 1;
        Put16(bin_, sd + 2, 0x8004);
        Put32(bin_, sd + 4, 20);
        Put32(bin_, sd + 8, 36);
        std::memcpy(&bin_[sd + 20], kAdministrators, 16);
        std::memcpy(&bin_[sd + 36], kAdministrators, 16);
        return at;
    }

    // A name as the format keeps it: Latin-1 when it can be (flag set), else UTF-16LE.
    static std::vector<uint8_t> NameBytes(const std::u16string& name, bool* latin1) {
        *latin1 = std::all_of(name.begin(), name.end(), [](char16_t c) { return c <= 0xFF; });
        std::vector<uint8_t> bytes;
        for (char16_t c : name) {
            bytes.push_back(static_cast<uint8_t>(c));
            if (!*latin1) bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return bytes;
    }

    static std::u16string Upper(const std::u16string& name) {
        std::u16string upper = name;
        for (auto& c : upper)
            if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 32);
        return upper;
    }

    uint32_t ValueCell(const standin::Value& v) {
        bool latin1 = false;
        std::vector<uint8_t> name = NameBytes(v.name, &latin1);
        uint32_t at = Cell(20 + name.size());
        std::memcpy(&bin_[at + 4], "vk", 2);
        Put16(bin_, at + 6, static_cast<uint16_t>(name.size()));
        const std::vector<uint8_t>& bytes = v.Data();
        auto length = static_cast<uint32_t>(bytes.size());
        if (length <= 4) {
            Put32(bin_, at + 8, length | 0x80000000u);
            std::copy(bytes.begin(), bytes.end(), bin_.begin() + at + 12);
        } else {
            uint32_t data = Cell(length);
            std::copy(bytes.begin(), bytes.end(), bin_.begin() + data + 4);
            Put32(bin_, at + 8, length);
            Put32(bin_, at + 12, data);
        }
        Put32(bin_, at + 16, v.type);
        Put16(bin_, at + 20, latin1 ? 1 : 0);
        std::copy(name.begin(), name.end(), bin_.begin() + at + 24);
        return at;
    }

    // An "lh" list of the keys, or an "ri" list of such lists for many keys.
    uint32_t SubkeyList(const std::vector<std::pair<uint32_t, std::u16string>>& children, size_t from, size_t count) {
        uint32_t at = Cell(4 + 8 * count);
        std::memcpy(&bin_[at + 4], "lh", 2);
        Put16(bin_, at + 6, static_cast<uint16_t>(count));
        for (size_t i = 0; i < count; ++i) {
            uint32_t hash = 0;
            for (char16_t c : children[from + i].second) hash = hash * 37 + c;
            Put32(bin_, at + 8 + 8 * i, children[from + i].first);
            Put32(bin_, at + 12 + 8 * i, hash);
        }
        return at;
    }

    uint32_t WriteKey(const standin::Key& key, uint32_t parent, bool root) {
        ++keys_;
        bool latin1 = false;
        std::vector<uint8_t> name = NameBytes(root ? u"ROOT" : key.Name().ToUtf16(), &latin1);
        uint32_t nk = Cell(76 + name.size());
        std::vector<std::pair<uint32_t, std::u16string>> children;
        size_t longestName = 0;
        for (const standin::Key* child : key.OrderedChildren()) {
            children.emplace_back(WriteKey(*child, nk, false), Upper(child->Name().ToUtf16()));
            longestName = std::max(longestName, child->Name().size() * 2);
        }
        std::sort(children.begin(), children.end(),
                  [](const auto& a, const auto& b) { return a.second < b.second; });
        uint32_t list = 0xFFFFFFFF;
        constexpr size_t kPerList = 500;
        if (children.size() <= kPerList && !children.empty()) {
            list = SubkeyList(children, 0, children.size());
        } else if (!children.empty()) {
            std::vector<uint32_t> lists;
            for (size_t from = 0; from < children.size(); from += kPerList)
                lists.push_back(SubkeyList(children, from, std::min(kPerList, children.size() - from)));
            list = Cell(4 + 4 * lists.size());
            std::memcpy(&bin_[list + 4], "ri", 2);
            Put16(bin_, list + 6, static_cast<uint16_t>(lists.size()));
            for (size_t i = 0; i < lists.size(); ++i) Put32(bin_, list + 8 + 4 * i, lists[i]);
        }
        uint32_t values = 0xFFFFFFFF;
        size_t longestValueName = 0, longestData = 0;
        if (!key.Values().empty()) {
            std::vector<uint32_t> cells;
            for (const standin::Value& v : key.Values()) {
                cells.push_back(ValueCell(v));
                longestValueName = std::max(longestValueName, v.name.size() * 2);
                longestData = std::max(longestData, v.Data().size());
            }
            values = Cell(4 * cells.size());
            for (size_t i = 0; i < cells.size(); ++i) Put32(bin_, values + 4 + 4 * i, cells[i]);
        }
        size_t at = nk + 4;
        std::memcpy(&bin_[at], "nk", 2);
        Put16(bin_, at + 2, static_cast<uint16_t>((root ? 0x0C : 0) | (latin1 ? 0x20 : 0)));
        Put32(bin_, at + 16, parent);
        Put32(bin_, at + 20, static_cast<uint32_t>(children.size()));
        Put32(bin_, at + 28, list);
        Put32(bin_, at + 32, 0xFFFFFFFF);
        Put32(bin_, at + 36, static_cast<uint32_t>(key.Values().size()));
        Put32(bin_, at + 40, values);
        Put32(bin_, at + 44, sk_);
        Put32(bin_, at + 48, 0xFFFFFFFF);
        Put32(bin_, at + 52, static_cast<uint32_t>(longestName));
        Put32(bin_, at + 60, static_cast<uint32_t>(longestValueName));
        Put32(bin_, at + 64, static_cast<uint32_t>(longestData));
        Put16(bin_, at + 72, static_cast<uint16_t>(name.size()));
        std::copy(name.begin(), name.end(), bin_.begin() + at + 76);
        return nk;
    }

    std::vector<uint8_t> bin_;
    uint32_t sk_ = 0;
    uint32_t keys_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    bool direct = argc > 1 && std::string(argv[1]) == "--direct";
    if (direct) {
        --argc;
        ++argv;
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_hive [--direct] <hive> [<content.reg>]\n");
        return 2;
    }
    std::vector<uint8_t> empty = EmptyHive();
    std::ofstream(argv[1], std::ios::binary).write(reinterpret_cast<const char*>(empty.data()),
                                                   static_cast<std::streamsize>(empty.size()));
    if (argc == 2) return 0;
    std::ifstream in(argv[2], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    standin::LoadResult loaded = standin::LoadRegistryText(bytes, argv[2]);
    if (!loaded.ok) {
        std::fprintf(stderr, "%s\n", loaded.error.c_str());
        return 1;
    }
    if (direct) {
        std::vector<uint8_t> hive = DirectWriter().Write(*standin::TheState().machine->Child(u"SOFTWARE"));
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(hive.data()), static_cast<std::streamsize>(hive.size()));
        return out ? 0 : 1;
    }
    hive_h* hive = hivex_open(argv[1], HIVEX_OPEN_WRITE);
    if (!hive) {
        std::perror("make_hive: libhivex cannot open the new hive");
        return 1;
    }
    const standin::Key* software = standin::TheState().machine->Child(u"SOFTWARE");
    bool ok = software && CopyKey(hive, hivex_root(hive), *software) && hivex_commit(hive, nullptr, 0) == 0;
    hivex_close(hive);
    if (!ok) std::perror("make_hive: libhivex could not fill the hive");
    return ok ? 0 : 1;
}
