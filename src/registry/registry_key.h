// The exclusive owner of one open registry key handle, in one registry view.
#pragma once

#include <string>

#include "platform/platform.h"

// Every operation returns the Win32 status of the registry call it made,
// unchanged; a failed operation leaves the key and its outputs as they were.
class RegistryKey {
public:
    explicit RegistryKey(bool use64BitView = false);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens parent\subKey for reading; a key held before is released on success.
    LONG Open(HKEY parent, const std::wstring& subKey);
    // Opens parent\subKey for reading and writing, creating it if missing.
    LONG Create(HKEY parent, const std::wstring& subKey);
    // Reads a REG_SZ value of the held key ("" is the default value).
    LONG GetString(const std::wstring& name, std::wstring& value) const;
    // Writes value as a REG_SZ with its terminating NUL.
    LONG SetString(const std::wstring& name, const std::wstring& value);
    // The held handle, null when none; borrowed, never to be closed by the caller.
    HKEY Handle() const { return handle; }
    // Releases the held handle; predefined root handles are never closed.
    void Close();

private:
    REGSAM ViewFlag() const;

    bool use64BitView;
    HKEY handle = nullptr;
};
