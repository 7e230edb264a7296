// The current directory and file attributes, in the form Wine gives them:
// the host's file system is drive Z:, with backslashes for separators.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/standin/registry_state.h"
#include "platform/standin/text_codec.h"

using namespace standin;

namespace {

constexpr DWORD kFileNotFound = 2;

bool ReadHostDirectory(std::wstring* out) {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return false;
        buffer.resize(buffer.size() * 2);
    }
    std::u16string path = Utf8ToUtf16(buffer.data());
    for (auto& c : path)
        if (c == u'/') c = u'\\';
    *out = L"Z:" + Utf16ToWide(path);
    return true;
}

}  // namespace

DWORD GetCurrentDirectoryW(DWORD bufferChars, LPWSTR buffer) {
    State& state = TheState();
    if (CountCall("GetCurrentDirectoryW", false) || state.currentDirectoryUnreadable) {
        state.lastError = kFileNotFound;
        return 0;
    }
    std::wstring directory;
    if (state.currentDirectory) {
        directory = *state.currentDirectory;
    } else if (!ReadHostDirectory(&directory)) {
        state.lastError = kFileNotFound;
        return 0;
    }
    auto length = static_cast<DWORD>(directory.size());
    if (!buffer || bufferChars <= length) return length + 1;
    directory.copy(buffer, length);
    buffer[length] = 0;
    return length;
}

DWORD GetFileAttributesW(LPCWSTR path) {
    State& state = TheState();
    if (CountCall("GetFileAttributesW", false) || !path) {
        state.lastError = kFileNotFound;
        return INVALID_FILE_ATTRIBUTES;
    }
    std::wstring text(path);
    if (text.rfind(L"\\\\?\\", 0) == 0) {
        text.erase(0, 4);
    } else if (text.size() >= MAX_PATH) {
        // As Windows does for a program that does not declare long-path
        // awareness: MAX_PATH counts the terminating NUL.
        state.lastError = ERROR_FILENAME_EXCED_RANGE;
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string host;
    if (text.size() >= 2 && (text[0] == L'Z' || text[0] == L'z') && text[1] == L':') {
        host = Utf16ToUtf8(WideToUtf16(text.substr(2)));
        if (host.empty()) host.push_back('/');
    } else {
        host = Utf16ToUtf8(WideToUtf16(text));
    }
    for (auto& c : host)
        if (c == '\\') c = '/';
    struct stat info;
    if (stat(host.c_str(), &info) != 0) {
        state.lastError = kFileNotFound;
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD GetLastError() {
    return TheState().lastError;
}
