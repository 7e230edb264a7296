#include "provider/companion_host.h"

#include "platform/platform.h"

namespace {

std::wstring ExtendedLengthForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

}  // namespace

bool IsExistingFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(ExtendedLengthForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
