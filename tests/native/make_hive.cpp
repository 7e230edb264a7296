// Test support: a SOFTWARE hive built from nothing, then filled through
// libhivex. The file starts as the smallest hive the format allows (a base
// block, one hive bin holding the root key and its security cell); the keys
// and values of a .reg file below HKEY_LOCAL_MACHINE\SOFTWARE (its classes,
// HKEY_CLASSES_ROOT, are SOFTWARE\Classes) are then added through libhivex.
// Usage: make_hive <hive> [<content.reg>]
#include <hivex.h>

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
        std::vector<uint8_t> data = v.data;
        hive_set_value value{name.data(), static_cast<hive_type>(v.type), data.size(),
                             reinterpret_cast<char*>(data.data())};
        if (hivex_node_set_value(hive, node, &value, 0) != 0) return false;
    }
    for (const standin::Key* child : key.OrderedChildren()) {
        std::string name = standin::Utf16ToUtf8(child->Name());
        hive_node_h made = hivex_node_get_child(hive, node, name.c_str());
        if (!made) made = hivex_node_add_child(hive, node, name.c_str());
        if (!made || !CopyKey(hive, made, *child)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_hive <hive> [<content.reg>]\n");
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
