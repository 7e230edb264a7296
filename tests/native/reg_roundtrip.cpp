// Test helper: loads a .reg file into the stand-in and writes the registry
// back to standard output, optionally after setting one string value.
// Usage: reg_roundtrip <file> [<key path> <value name> <text>]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/standin/controls/controls.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 5) {
        std::fprintf(stderr, "usage: reg_roundtrip <file> [<key path> <value name> <text>]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    standin::LoadResult loaded = standin::LoadRegistryText(bytes.str(), argv[1]);
    if (!loaded.ok) {
        std::fprintf(stderr, "%s\n", loaded.error.c_str());
        return 1;
    }
    if (argc == 5) {
        auto wide = [](const char* s) { return std::wstring(s, s + std::char_traits<char>::length(s)); };
        standin::PutString(wide(argv[2]), wide(argv[3]), wide(argv[4]));
    }
    std::cout << standin::SerializeRegistry();
    return std::cout.good() ? 0 : 1;
}
