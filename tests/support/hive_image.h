// Test support: SOFTWARE hives built from nothing, from the keys of a .reg
// file loaded into the stand-in's tree (HKEY_LOCAL_MACHINE\SOFTWARE, whose
// Classes key is HKEY_CLASSES_ROOT).
#pragma once

#include <hivex.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/standin/reg/key_tree.h"

namespace test_support {

// The smallest hive the format allows: a base block and one bin holding the
// root key and its security cell.
std::vector<uint8_t> EmptyHive();

// A hive written in one pass, and where each key's record lies.
struct HiveImage {
    std::vector<uint8_t> bytes;
    // The file offset of each key's cell, by its path below the root in
    // lower case ("classes\\wow6432node\\clsid").
    std::map<std::u16string, uint32_t> keys;
};

// The keys and values below software as one bin of cells. Data larger than a
// cell's worth is a big-data record in a hive of minor version 4 or later.
HiveImage DirectHive(const standin::Key& software, uint32_t minorVersion = 3);

// Adds the keys and values below software to an open hive through libhivex.
bool CopyThroughLibhivex(hive_h* hive, hive_node_h node, const standin::Key& software);

// Adds Classes\Wow6432Node\AppID to an open hive as 64-bit Windows stores
// it, a link whose REG_LINK SymbolicLinkValue is target (UTF-16, no NUL);
// the key, or 0. Its KEY_SYM_LINK flag, which libhivex cannot set, is set by
// FlagAsLink in the committed file.
hive_node_h AddAppIdLink(hive_h* hive, const std::u16string& target);
bool FlagAsLink(const std::string& path, hive_node_h key);

}  // namespace test_support
