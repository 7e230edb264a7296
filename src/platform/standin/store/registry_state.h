// The registry the stand-in's functions work on: the .reg file's tree and
// its form, or the offline hive; the file it came from, and whether the run
// changed it.
#pragma once

#include <memory>
#include <string>

#include "platform/standin/reg/reg_format.h"
#include "platform/standin/reg/registry_tree.h"

namespace standin {



class HiveStore;

struct State {
    State();
    ~State();
    std::shared_ptr<Tree> tree;
    std::unique_ptr<HiveStore> hive;  // the offline hive in use, if any
    FileFormat format;
    std::string filePath;
    int lockFd = -1;
    bool changed = false;

};

State& TheState();
// A new, empty tree of keys (the .reg store's), nothing changed.
void ResetTree(State& state);
// The key a predefined root handle stands for in the store the registry
// functions work on: the offline hive when one is open, else the tree. This is
// the one place that chooses the store.
std::shared_ptr<Node> StoreRoot(State& state, HKEY root);
}  // namespace standin
