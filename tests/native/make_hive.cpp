// Test support: a SOFTWARE hive built from nothing, then filled through
// libhivex. The file starts as the smallest hive the format allows (a base
// block, one hive bin holding the root key and its security cell); the keys
// and values of a .reg file below HKEY_LOCAL_MACHINE\SOFTWARE (its classes,
// HKEY_CLASSES_ROOT, are SOFTWARE\Classes) are then added through libhivex.
// With --direct the whole content is written as cells in one pass instead:
// libhivex, adding keys one at a time, grows a hive of many thousands of
// classes far beyond its content, so benchmark hives come this way; with
// --direct=1.5 it is a hive of version 1.5, whose large data is held in
// big-data records.
// With --link, Classes\Wow6432Node\AppID is added as 64-bit Windows stores
// it: a link key to Classes\AppID.
// Usage: make_hive [--direct[=1.5] | --link] <hive> [<content.reg>]
#include <hivex.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/standin/controls/controls.h"
#include "platform/standin/reg/key_tree.h"
#include "platform/standin/session/registry_file.h"
#include "support/hive_image.h"

namespace {

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    bool direct = argc > 1 && std::string(argv[1]).rfind("--direct", 0) == 0;
    bool link = argc > 1 && std::string(argv[1]) == "--link";
    uint32_t minor = direct && std::string(argv[1]) == "--direct=1.5" ? 5 : 3;
    if (direct || link) {
        --argc;
        ++argv;
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_hive [--direct[=1.5] | --link] <hive> [<content.reg>]\n");
        return 2;
    }
    if (!WriteFile(argv[1], test_support::EmptyHive())) return 1;
    if (argc == 2) return 0;
    std::ifstream in(argv[2], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    standin::LoadResult loaded = standin::LoadRegistryText(bytes, argv[2]);
    if (!loaded.ok) {
        std::fprintf(stderr, "%s\n", loaded.error.c_str());
        return 1;
    }
    const standin::Key* software = standin::LoadedTree()->machine->Child(u"SOFTWARE");
    if (direct) return WriteFile(argv[1], test_support::DirectHive(*software, minor).bytes) ? 0 : 1;
    hive_h* hive = hivex_open(argv[1], HIVEX_OPEN_WRITE);
    if (!hive) {
        std::perror("make_hive: libhivex cannot open the new hive");
        return 1;
    }
    bool ok = software && test_support::CopyThroughLibhivex(hive, hivex_root(hive), *software);
    hive_node_h linked = ok && link ? test_support::AddAppIdLink(hive, u"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\AppID") : 0;
    ok = ok && (!link || linked) && hivex_commit(hive, nullptr, 0) == 0;
    hivex_close(hive);
    ok = ok && (!link || test_support::FlagAsLink(argv[1], linked));
    if (!ok) std::perror("make_hive: libhivex could not fill the hive");
    return ok ? 0 : 1;
}
