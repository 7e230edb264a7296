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

// One line of a key's section in the file, kept so that an unchanged value
// is written back exactly as it was read.
struct SectionEntry {
    bool isValue = false;
    // A comment or blank line as read; for a value, the (first) line that set
    // it, whose name the writer reads again (the value keeps its own text).
    std::string_view text;
};

struct Section {
    std::string_view header;  // "[...]" as read
    std::shared_ptr<Key> key;
    std::vector<SectionEntry> entries;
};

enum class FileEncoding { Utf16Le, Utf8, Utf8Bom };

struct FileFormat {
    FileEncoding encoding = FileEncoding::Utf16Le;
    bool crlf = true;
    bool regedit4 = false;
    std::string headerLine = "Windows Registry Editor Version 5.00";
    size_t leadingBlankLines = 0;       // blank lines before the header
    std::vector<std::string> preamble = {""};  // lines between the header and the first section
    bool finalLineEnd = true;
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
    std::shared_ptr<Key> machine, users, currentUser, currentConfig;
    std::shared_ptr<Key> classes;  // HKEY_LOCAL_MACHINE\SOFTWARE\Classes, found once
    std::unique_ptr<HiveStore> hive;  // the offline hive in use, if any
    std::deque<Section> sections;  // grows without moving what it holds
    // The loaded file's text, as UTF-8: the sections and unchanged values
    // refer into it rather than keeping copies of their lines.
    std::string text;
    std::deque<std::string> joinedLines;  // values written over several lines, joined
    FileFormat format;
    std::string filePath;
    int lockFd = -1;
    bool changed = false;

    std::unordered_map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = 0x1000;
    int comAllocations = 0;

    std::optional<bool> administrator;
    std::optional<std::wstring> currentDirectory;
    bool currentDirectoryUnreadable = false;
    std::string systemDrive;  // the host folder that is drive C:, resolved; "" for Wine's Z:
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
std::shared_ptr<Key> ClassesKey(State& state);
// The key a predefined root handle stands for in the tree, or null.
std::shared_ptr<Key> PredefinedKey(State& state, HKEY root);
// The key a predefined root handle stands for in the store the registry
// functions work on: the offline hive when one is open, else the tree. This is
// the one place that chooses the store.
std::shared_ptr<Node> StoreRoot(State& state, HKEY root);
// The key of a full path such as "HKEY_CLASSES_ROOT\\A\\B", created on request.
std::shared_ptr<Key> KeyAtPath(State& state, std::u16string_view path, bool create,
                               bool markImplicit = false);
// Follows the components of a relative path down from key, creating missing
// ones on request (marked implicit when asked); each key reached is appended
// to *chain when given. Null when a component is missing and not created.
std::shared_ptr<Key> DescendPath(std::shared_ptr<Key> key, std::u16string_view rest, bool create,
                                 bool markImplicit, std::vector<std::shared_ptr<Key>>* chain = nullptr);
// The root spelled at the start of a path; its length in *used.
std::shared_ptr<Key> RootOfPath(State& state, std::u16string_view path, size_t* used);
// Counts a call and applies an armed fault; non-zero means fail with that code.
LONG CountCall(const char* function, bool registry = true, std::u16string_view detail = {});

}  // namespace standin
