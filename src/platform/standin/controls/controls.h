// The stand-in's controls for tests, linked into tests alone: registry
// content built through the store seam (on a loaded hive as on a .reg
// tree), access denied, the current directory and the console chosen,
// faults injected, and what is still open counted.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/session/process_settings.h"
#include "platform/standin/session/registry_file.h"
#include "platform/standin/win32_api.h"

namespace standin {

class Tree;

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
    bool operator==(const RawValue&) const = default;
};

// Keys are named by full paths such as "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{...}";
// HKCR, HKLM, HKCU, HKU and HKCC abbreviate the roots. No view redirection applies.
// An empty .reg registry, nothing open, denied or armed, the process as at start.
void ResetRegistry();
// The tree of the .reg store in use; null when a hive is in use.
Tree* LoadedTree();
bool PutKey(std::wstring_view path);
bool PutValue(std::wstring_view path, std::wstring_view name, DWORD type, std::vector<uint8_t> bytes);
// Stores a REG_SZ with its terminating NUL.
bool PutString(std::wstring_view path, std::wstring_view name, std::wstring_view text);
bool DeleteKey(std::wstring_view path);
bool KeyExists(std::wstring_view path);
std::optional<RawValue> GetValue(std::wstring_view path, std::wstring_view name);
// The REG_SZ text without its terminating NUL; nothing for another type.
std::optional<std::wstring> GetString(std::wstring_view path, std::wstring_view name);
std::vector<std::wstring> SubkeyNames(std::wstring_view path);
bool DenyAccess(std::wstring_view path, bool read, bool write);
std::vector<uint8_t> Utf16Bytes(std::wstring_view text, bool withNul = true);
// The directory GetCurrentDirectoryW reports, in Windows form; nothing makes the call fail.
void SetCurrentDirectoryOverride(std::optional<std::wstring> directory, bool unreadable = false);

// Every key (by lower-cased full path) with its values (by lower-cased name).
using Snapshot = std::map<std::wstring, std::map<std::wstring, RawValue>>;
Snapshot TakeSnapshot();

// Makes standard output a console (or a file again, the default); what is
// written to the console with WriteConsoleW is kept, and ConsoleText gives it.
void SimulateConsole(bool console);
std::wstring ConsoleText();

// The nth call (counted from now, from 1) of the named function fails with the code,
// or, with code 0, runs the action first and then proceeds. "*" names every registry call;
// "Wow6432Node" the 32-bit view's lookup of that key below the classes root.
void FailCall(std::string function, long nth, LONG code, std::function<void()> action = {});
void ClearFaults();
// Calls are counted and logged from the first ResetCallCounts on (and while
// a fault is armed); before that nothing is kept.
long CallCount(std::string_view function);
void ResetCallCounts();
// Every registry call since the counts were reset, in order: the function, and
// for an open or a create the subkey ("RegOpenKeyExW CLSID").
std::vector<std::string> RegistryCallLog();
int OpenHandleCount();
// COM task memory and SIDs handed out and not yet freed.
int OutstandingAllocations();

}  // namespace standin
