// The two registry levels through which a class reaches its surrogate host:
// the class key's "AppID" value and the AppID key's "DllSurrogate" value.
#pragma once

#include <string>

#include "platform/platform.h"

// Reads give "" or false on any failure, and text up to its first NUL; writes
// return the Win32 status of the first call that failed, passed on unchanged,
// and roll nothing back.

// The "AppID" value of the class key held by classKey, or "".
std::wstring ReadClassAppId(HKEY classKey);
LONG WriteClassAppId(HKEY classKey, const std::wstring& appId);
// The "DllSurrogate" value of AppID\{appId}, or "".
std::wstring ReadDllSurrogate(const std::wstring& appId);
LONG WriteDllSurrogate(const std::wstring& appId, const std::wstring& hostPath);
// Whether AppID\{appId} holds string values "DllSurrogate" and "AppID".
bool IsAppIdKeyComplete(const std::wstring& appId);
// Writes the default value (the ProgID), "AppID" and an empty "DllSurrogate", in that order.
LONG InitializeAppIdKey(const std::wstring& appId, const std::wstring& progId);
// Whether an AppID string names a single key under AppID: a value holding a
// path separator or a NUL would lead the reads and writes elsewhere.
bool IsUsableAppId(const std::wstring& appId);
