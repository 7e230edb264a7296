// The stand-in's own interface, beside the Win32 functions: loading and saving
// the registry file, and the controls that tests use. Product code never
// includes this header.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/win32_api.h"

namespace standin {

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
    bool operator==(const RawValue&) const = default;
};

// Keys are named by full paths such as "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{...}";
// HKCR, HKLM, HKCU, HKU and HKCC abbreviate the roots. No view redirection applies.
void ResetRegistry();
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

// Every key (by lower-cased full path) with its values (by lower-cased name).
using Snapshot = std::map<std::wstring, std::map<std::wstring, RawValue>>;
Snapshot TakeSnapshot();

// Token membership of the Administrators group; by default whether the user
// is root. whyNot is said on standard error when membership is denied.
void SetAdministrator(std::optional<bool> member, std::string whyNot = "");
// The directory GetCurrentDirectoryW reports, in Windows form; nothing makes the call fail.
void SetCurrentDirectoryOverride(std::optional<std::wstring> directory, bool unreadable = false);

// The host folder that stands for drive C: (an offline image's system drive):
// the current directory and file paths are given as C:\... inside it, and
// nothing outside it has a path. Empty: Wine's Z: for the host's root.
// False when the folder does not exist.
bool SetSystemDrive(const std::string& folder);
// No folder is drive C: and Wine's Z: would name nothing on the machine the
// registry belongs to: the current directory cannot be read, and why is said
// on standard error once.
void SetNoSystemDrive(std::string why);

// Makes standard output a console (or a file again, the default); what is
// written to the console with WriteConsoleW is kept, and ConsoleText gives it.
void SimulateConsole(bool console);
std::wstring ConsoleText();

// The nth call (counted from now, from 1) of the named function fails with the code,
// or, with code 0, runs the action first and then proceeds. "*" names every registry call.
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

// The registry file: loaded and locked at start, saved at exit if changed.
struct LoadResult {
    bool ok = false;
    std::string error;  // "<file>:<line>: <reason>"
    bool busy = false;  // another program held the file's lock all the time we waited
};
// Waits at most lockTimeout seconds for another run's lock on the file.
LoadResult LoadRegistryFile(const std::string& path, double lockTimeout = 60);
// The SOFTWARE hive of an offline image instead, read and written where it
// lies: HKEY_LOCAL_MACHINE\SOFTWARE, its Classes key HKEY_CLASSES_ROOT. The
// error is "<file>: <reason>" for a file that is no hive, a dirty hive, or one
// that libhivex refuses.
LoadResult LoadHiveFile(const std::string& path, double lockTimeout = 60);
// Whether the classes have a Wow6432Node key: a registry of 64-bit Windows,
// with two views. Without it the registry is one view, as on 32-bit Windows.
bool HasWow6432Node();
// Loads from text in memory (no file, nothing locked).
LoadResult LoadRegistryText(std::string_view bytes, const std::string& displayName);
bool RegistryChanged();
// Writes the registry (or the hive) to the file it came from, atomically;
// false with a reason on failure.
bool SaveRegistryFile(std::string* error);
// The registry as file text, in the format the file had.
std::string SerializeRegistry();
void ReleaseRegistryFile();

}  // namespace standin
