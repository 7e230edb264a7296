// The stand-in's process-wide state: the registry tree, what the loaded file
// looked like, the open handles and the test controls.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/standin/reg_format.h"
#include "platform/standin/registry_tree.h"

namespace standin {



struct OpenKey {
    std::shared_ptr<Node> key;
    REGSAM access = 0;
};

struct Fault {
    std::string function;
    long remaining = 0;
    LONG code = 0;
    std::function<void()> action;
};

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

    std::unordered_map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x1000;
    int comBlocks = 0;  // COM task memory handed out and not yet freed
    int sids = 0;       // SIDs allocated and not yet freed

    std::optional<bool> administrator;
    std::string notAdministratorWhy;  // said once on stderr when membership is asked and denied
    std::optional<std::wstring> currentDirectory;
    bool currentDirectoryUnreadable = false;
    std::string systemDrive;  // the host folder that is drive C:, resolved; "" for Wine's Z:
    std::string noSystemDriveWhy;  // set when no folder is drive C: and Z: would be wrong
    bool console = false;
    std::wstring consoleText;

    std::vector<Fault> faults;
    std::unordered_map<std::string, long> calls;
    bool logCalls = false;             // set once a test resets the counts
    std::vector<std::string> callLog;  // every registry call's function (and subkey), in order
    DWORD lastError = 0;
};

State& TheState();
// A new, empty tree of keys (the .reg store's), nothing changed.
void ResetTree(State& state);
// The key a predefined root handle stands for in the store the registry
// functions work on: the offline hive when one is open, else the tree. This is
// the one place that chooses the store.
std::shared_ptr<Node> StoreRoot(State& state, HKEY root);
// Counts a call and applies an armed fault; non-zero means fail with that code.
LONG CountCall(const char* function, bool registry = true, std::u16string_view detail = {});

}  // namespace standin
