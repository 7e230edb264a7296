// A visitor of the direct subkeys of an open key.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "registry/registry_key.h"

// Called once per subkey with the enumerated key's handle, the subkey's bare
// name (valid for the call only) and the caller's context; true keeps the name.
using SubkeyFilter = bool (*)(HKEY key, const std::wstring& name, void* context);

// What an enumeration could not visit, for callers that must not take a
// partial sweep for a whole one.
struct EnumerationFailures {
    LONG queryStatus = ERROR_SUCCESS;                   // the key could not be queried: nothing visited
    std::vector<std::pair<DWORD, LONG>> skippedIndexes;  // index and status of each index skipped
};

// Whether a path can name a key of this name: a key's name may hold a NUL,
// which ends every path the registry functions take, so that a path built
// from it would name another key.
bool IsAddressableName(const std::wstring& name);

// Visits the subkeys counted when the enumeration starts, in index order, and
// returns the names the filter kept (all of them for a null filter). Indexes
// that fail to enumerate are skipped, and so are names that no path can name
// (recorded with ERROR_INVALID_NAME); a key that cannot be queried yields none.
std::vector<std::wstring> EnumerateSubkeys(const RegistryKey& key, SubkeyFilter filter, void* context,
                                           EnumerationFailures* failures = nullptr);
