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

#include "platform/standin/registry_tree.h"

namespace standin {

enum class FileEncoding { Utf16Le, Utf8, Utf8Bom };

// What the writer needs of the loaded file beyond its text, which it copies:
// how to encode it, and the line end of lines it adds.
struct FileFormat {
    FileEncoding encoding = FileEncoding::Utf16Le;
    bool crlf = true;       // lines the writer adds end in CR LF
    bool regedit4 = false;  // hex(1), hex(2) and hex(7) data is narrow text
    std::string oddByte;    // a UTF-16 file's last byte when its size is odd
};

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
    Key* machine = nullptr;
    Key* users = nullptr;
    Key* currentUser = nullptr;
    Key* currentConfig = nullptr;
    Key* classes = nullptr;  // HKEY_LOCAL_MACHINE\SOFTWARE\Classes, found once
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
void ResetTree(State& state);
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, created when missing.
Key* ClassesKey(State& state);
// The key a predefined root handle stands for in the tree, or null.
Key* PredefinedKey(State& state, HKEY root);
// The key a predefined root handle stands for in the store the registry
// functions work on: the offline hive when one is open, else the tree. This is
// the one place that chooses the store.
std::shared_ptr<Node> StoreRoot(State& state, HKEY root);
// The key of a full path such as "HKEY_CLASSES_ROOT\\A\\B", created on request.
Key* KeyAtPath(State& state, std::u16string_view path, bool create);
// The root spelled at the start of a path; its length in *used.
Key* RootOfPath(State& state, std::u16string_view path, size_t* used);
// Counts a call and applies an armed fault; non-zero means fail with that code.
LONG CountCall(const char* function, bool registry = true, std::u16string_view detail = {});

}  // namespace standin
