// What makes a class a provider, and who it is. Reads only: every failure
// gives an empty string or false, never a message.
#pragma once

#include <string>

#include "platform/platform.h"

// The CLSID string in registry form for a ProgID, or "" when it does not resolve.
std::wstring ProgIdToClsidString(const std::wstring& progId);
// Whether HKEY_CLASSES_ROOT\CLSID\{clsid}\QIV Provider opens.
bool IsProviderClass(const std::wstring& clsid);
// The status of opening that marker key: 0 for a provider, ERROR_FILE_NOT_FOUND
// for a class that is none, anything else when the class cannot be examined.
LONG ProviderMarkerStatus(const std::wstring& clsid);
// The same for "<name>\QIV Provider" below the given CLSID key: the test for a
// class enumerated under that key, without resolving the path from the
// classes root again.
LONG ProviderMarkerStatus(HKEY clsidKey, const std::wstring& name);
// The default value of the class's VersionIndependentProgID key, or "".
std::wstring ReadProviderProgId(const std::wstring& clsid);
