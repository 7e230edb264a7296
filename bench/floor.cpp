// The floor of a sweep: what any sweep of HKEY_CLASSES_ROOT\CLSID in the
// 32-bit view must do, and nothing else: one RegEnumKeyExW per class and, with
// "marker", one RegOpenKeyExW of "<name>\QIV Provider" relative to the
// enumerated key, closed at once. It prints only its own time and count.
// Usage: floor [enumerate|marker]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#ifndef _WIN32
#include "platform/standin/session/native_session.h"  // the registry file the native floor sweeps
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
    standin::StartNativeSession();
#endif
    bool marker = argc < 2 || std::strcmp(argv[1], "enumerate") != 0;
    auto start = std::chrono::steady_clock::now();
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ | KEY_WOW64_32KEY, &classes) != ERROR_SUCCESS)
        return 1;
    DWORD count = 0, longest = 0;
    RegQueryInfoKeyW(classes, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    std::vector<wchar_t> name(longest + 1 + 32);
    unsigned long providers = 0;
    for (DWORD index = 0; index < count; ++index) {
        DWORD chars = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(classes, index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        if (!marker) continue;
        std::wstring path(name.data(), chars);
        path += L"\\QIV Provider";
        HKEY found = nullptr;
        if (RegOpenKeyExW(classes, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &found) == ERROR_SUCCESS) {
            ++providers;
            RegCloseKey(found);
        }
    }
    RegCloseKey(classes);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "floor: %lu classes, %lu providers, sweep %.1f ms\n", static_cast<unsigned long>(count),
                 providers, ms);
    return 0;
}
