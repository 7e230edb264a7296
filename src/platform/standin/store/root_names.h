// The names of the predefined roots as paths spell them: HKEY_CLASSES_ROOT
// and its kind, or their abbreviations HKCR, HKLM, HKCU, HKU and HKCC.
#pragma once

#include <string_view>

#include "platform/standin/win32_api.h"

namespace standin {

// The root a path names before its first backslash, compared without regard
// to case, with in *used the length of that name and its backslash; null for
// a path that starts with no root.
HKEY RootOfPath(std::u16string_view path, size_t* used);

}  // namespace standin
