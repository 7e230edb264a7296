// The current directory and file attributes, in the form Wine gives them:
// the host's file system is drive Z:, with backslashes for separators. With a
// system drive (an offline image's, or a folder standing for a server's), that
// folder is drive C: and nothing else is a drive.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/process_state.h"
#include "platform/standin/text/text_codec.h"

using namespace standin;

namespace {

constexpr DWORD kFileNotFound = 2;
// A file's handle is its descriptor past this, as no other handle is.
constexpr intptr_t kFileHandleBase = 0x10000;

std::wstring WindowsForm(std::string_view drive, std::string_view hostPath) {
    std::u16string path = Utf8ToUtf16(hostPath);
    for (auto& c : path)
        if (c == u'/') c = u'\\';
    return Utf16ToWide(Utf8ToUtf16(drive)) + Utf16ToWide(path);
}

// The current directory in Windows form: Z: and the host path, as Wine gives
// it, or, with a system drive, C:\ and the path inside that drive's folder.
bool ReadHostDirectory(std::wstring* out) {
    if (const std::string& why = TheProcess().noSystemDriveWhy; !why.empty()) {
        static bool told = false;
        if (!told) std::fprintf(stderr, "vandrel: %s\n", why.c_str());
        told = true;
        return false;
    }
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return false;
        buffer.resize(buffer.size() * 2);
    }
    const std::string& drive = TheProcess().systemDrive;
    if (drive.empty()) {
        *out = WindowsForm("Z:", buffer.data());
        return true;
    }
    std::string here = buffer.data();
    if (char* real = realpath(buffer.data(), nullptr)) {
        here = real;
        std::free(real);
    }
    std::string inside;
    if (here == drive) {
        inside = "";
    } else if (here.size() > drive.size() && here.compare(0, drive.size(), drive) == 0 &&
               (drive == "/" || here[drive.size()] == '/')) {
        inside = here.substr(drive == "/" ? 1 : drive.size() + 1);
    } else {
        static bool told = false;
        if (!told) {
            std::fprintf(stderr,
                         "vandrel: the current directory %s is outside the system drive %s: it has no path "
                         "on drive C: (run /C from the companion host's folder inside it)\n",
                         here.c_str(), drive.c_str());
            told = true;
        }
        return false;
    }
    *out = WindowsForm("C:\\", inside);
    return true;
}

// The host path of a Windows path: Z:\... as Wine maps it, or C:\... inside
// the system drive's folder when there is one; "" for any other drive.
std::string HostPath(std::wstring text) {
    const std::string& drive = TheProcess().systemDrive;
    bool hasDrive = text.size() >= 2 && text[1] == L':';
    wchar_t letter = hasDrive ? static_cast<wchar_t>(std::towupper(text[0])) : 0;
    std::string host;
    if (!drive.empty()) {
        if (letter != L'C') return "";
        host = drive + (drive == "/" ? "" : "/") + Utf16ToUtf8(WideToUtf16(text.substr(2)));
    } else if (letter == L'Z') {
        host = Utf16ToUtf8(WideToUtf16(text.substr(2)));
        if (host.empty()) host.push_back('/');
    } else {
        host = Utf16ToUtf8(WideToUtf16(text));
    }
    for (auto& c : host)
        if (c == '\\') c = '/';
    return host;
}

// The host path of a file named without regard to case, as Windows and Wine
// find one: each component as spelled, or else the entry of its folder whose
// name is the same to the registry's folding. "" when there is none.
std::string FindIgnoringCase(const std::string& path) {
    std::string found;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = std::min(path.find('/', start), path.size());
        std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        struct stat info;
        if (lstat((found + "/" + part).c_str(), &info) == 0) {
            found += "/" + part;
            continue;
        }
        DIR* dir = opendir(found.empty() ? "/" : found.c_str());
        if (!dir) return "";
        std::u16string wanted = Utf8ToUtf16(part);
        std::string match;
        while (dirent* entry = readdir(dir))
            if (EqualsFolded(Utf8ToUtf16(entry->d_name), wanted)) match = entry->d_name;
        closedir(dir);
        if (match.empty()) return "";
        found += "/" + match;
    }
    return found.empty() ? "/" : found;
}

}  // namespace

DWORD GetCurrentDirectoryW(DWORD bufferChars, LPWSTR buffer) {
    if (RunCallHooks("GetCurrentDirectoryW", false) || TheProcess().currentDirectoryUnreadable) {
        TheProcess().lastError = kFileNotFound;
        return 0;
    }
    std::wstring directory;
    if (TheProcess().currentDirectory) {
        directory = *TheProcess().currentDirectory;
    } else if (!ReadHostDirectory(&directory)) {
        TheProcess().lastError = kFileNotFound;
        return 0;
    }
    auto length = static_cast<DWORD>(directory.size());
    if (!buffer || bufferChars <= length) return length + 1;
    directory.copy(buffer, length);
    buffer[length] = 0;
    return length;
}

DWORD GetFileAttributesW(LPCWSTR path) {
    if (RunCallHooks("GetFileAttributesW", false) || !path) {
        TheProcess().lastError = kFileNotFound;
        return INVALID_FILE_ATTRIBUTES;
    }
    std::wstring text(path);
    if (text.rfind(L"\\\\?\\", 0) == 0) {
        text.erase(0, 4);
    } else if (text.size() >= MAX_PATH) {
        // As Windows does for a program that does not declare long-path
        // awareness: MAX_PATH counts the terminating NUL.
        TheProcess().lastError = ERROR_FILENAME_EXCED_RANGE;
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string host = HostPath(text);
    struct stat info;
    if (!host.empty() && host[0] == '/' && stat(host.c_str(), &info) != 0) host = FindIgnoringCase(host);
    if (host.empty() || stat(host.c_str(), &info) != 0) {
        TheProcess().lastError = kFileNotFound;
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD GetLastError() {
    return TheProcess().lastError;
}

// Files the product writes (the undo file): created new, never replacing one.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE) {
    if (RunCallHooks("CreateFileW", false) || !path || !(access & GENERIC_WRITE) || disposition != CREATE_NEW) {
        TheProcess().lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    std::wstring text(path);
    bool absolute = text.size() >= 2 && text[1] == L':';
    std::string host = absolute ? HostPath(text) : Utf16ToUtf8(WideToUtf16(text));
    if (!absolute)
        for (auto& c : host)
            if (c == '\\') c = '/';
    int fd = host.empty() ? -1 : open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        TheProcess().lastError = errno == EEXIST ? ERROR_FILE_EXISTS : errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + kFileHandleBase);
}

BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, LPDWORD written, void*) {
    if (RunCallHooks("WriteFile", false)) return FALSE;
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(file) - kFileHandleBase);
    const char* at = static_cast<const char*>(data);
    DWORD done = 0;
    while (done < bytes) {
        ssize_t n = write(fd, at + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            TheProcess().lastError = ERROR_NOT_ENOUGH_MEMORY;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    if (RunCallHooks("FlushFileBuffers", false)) return FALSE;
    return fsync(static_cast<int>(reinterpret_cast<intptr_t>(file) - kFileHandleBase)) == 0;
}

BOOL CloseHandle(HANDLE handle) {
    return close(static_cast<int>(reinterpret_cast<intptr_t>(handle) - kFileHandleBase)) == 0;
}
