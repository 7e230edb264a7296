// Configuring and showing one provider, given its CLSID string. A class that
// is not a provider is left alone: nothing is read, written or printed.
#pragma once

#include <string>

#include "platform/platform.h"

// Ensures the class has an AppID and a complete AppID key, writes hostPath as
// its "DllSurrogate" and prints the report; 0, or the Win32 status of the first
// write that failed (nothing printed then, nothing rolled back). A class whose
// "AppID" is not a usable key name fails with ERROR_INVALID_DATA, unwritten; one
// whose marker key cannot be examined fails with the status of that open.
// With report false, nothing is printed (the caller reports in another form).
LONG ConfigureProvider(const std::wstring& clsid, const std::wstring& hostPath, bool report = true);
// Prints the report with the "DllSurrogate" value now stored (as one JSON
// object with /J); always 0.
LONG ShowProvider(const std::wstring& clsid);

// A provider's registration as the registry holds it now, as JSON fields:
// "progId", "clsid", "appId" (null: the class names no usable AppID) and
// "dllSurrogate" (null: no AppID key, or no string value).
std::string ProviderJsonFields(const std::wstring& clsid);
