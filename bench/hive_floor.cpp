// The floor of a sweep over an offline hive: what any sweep of the 32-bit
// view's CLSID key must do through libhivex, and nothing else: each class's
// name, and a lookup of its "QIV Provider" subkey. The hive is opened as the
// tool opens it, and that is not timed (the tool reports its load apart).
// It prints only its own time and count.
// Usage: hive_floor <hive>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/standin/hive/hive_store.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hive_floor <hive>\n");
        return 2;
    }
    std::string error;
    auto store = standin::HiveStore::Open(argv[1], &error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    hive_h* h = store->Hive();
    auto start = std::chrono::steady_clock::now();
    hive_node_h classes = hivex_node_get_child(h, hivex_root(h), "Classes");
    hive_node_h wow = classes ? hivex_node_get_child(h, classes, "Wow6432Node") : 0;
    hive_node_h clsid = hivex_node_get_child(h, wow ? wow : classes, "CLSID");
    if (!clsid) return 1;
    std::vector<hive_node_h> children;
    errno = 0;
    if (hive_node_h* list = hivex_node_children(h, clsid)) {
        for (size_t i = 0; list[i]; ++i) children.push_back(list[i]);
        std::free(list);
    } else if (errno != ERANGE ||
               store->ChildrenFromFile(clsid, &children) != standin::HiveStore::FileAnswer::Read) {
        return 1;
    }
    unsigned long providers = 0;
    for (hive_node_h child : children) {
        std::free(hivex_node_name(h, child));
        if (hivex_node_get_child(h, child, "QIV Provider")) ++providers;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "floor: %zu classes, %lu providers, sweep %.1f ms\n", children.size(), providers, ms);
    return 0;
}
