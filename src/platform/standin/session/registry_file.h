// The registry's file on disk, a .reg file or an offline hive: loaded and
// locked at start, its store put in place for the Win32 functions, and saved
// at exit if the run changed it. Product code never includes this header.
#pragma once

#include <string>
#include <string_view>

namespace standin {

// How a load went.
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
// Whether the run made a key or wrote a value since the load or the last save.
bool RegistryChanged();
// Writes the registry (or the hive) to the file it came from, atomically;
// false with a reason on failure.
bool SaveRegistryFile(std::string* error);
// The .reg store as file text, in the format the file had; empty for a hive.
std::string SerializeRegistry();
// Unlocks the file; a hive's store goes with it, a .reg tree stays in use.
void ReleaseRegistryFile();

}  // namespace standin
