// The stand-in's own interface, beside the Win32 functions: loading and saving
// the registry file, and what the native session sets of the process (the
// token, the system drive). Product code never includes this header; the
// controls that tests use are in controls.h.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/win32_api.h"

namespace standin {

// Token membership of the Administrators group; by default whether the user
// is root. whyNot is said on standard error when membership is denied.
void SetAdministrator(std::optional<bool> member, std::string whyNot = "");

// The host folder that stands for drive C: (an offline image's system drive):
// the current directory and file paths are given as C:\... inside it, and
// nothing outside it has a path. Empty: Wine's Z: for the host's root.
// False when the folder does not exist.
bool SetSystemDrive(const std::string& folder);
// No folder is drive C: and Wine's Z: would name nothing on the machine the
// registry belongs to: the current directory cannot be read, and why is said
// on standard error once.
void SetNoSystemDrive(std::string why);

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
