// The companion host file on disk.
#pragma once

#include <string>

// Whether path names an existing file, not a folder; long paths are asked for
// in their "\\?\" form, which Windows needs from MAX_PATH characters on.
bool IsExistingFile(const std::wstring& path);
