// Registry string values read as text, the way Windows programs read them.
#pragma once

#include <string>

#include "registry/registry_key.h"

// The text of the named REG_SZ value of key, up to its first NUL: a value
// stored with extra terminators, or with bytes after a NUL, reads as what
// Windows programs see. "" when the value cannot be read as a string.
std::wstring ReadText(const RegistryKey& key, const std::wstring& name);
