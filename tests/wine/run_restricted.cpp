// Test helper: runs a command line with the Administrators group disabled in
// its token (deny-only), waits for it and returns its exit status.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: run_restricted <program> [arguments...]\n");
        return 2;
    }
    std::wstring commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += L' ';
        commandLine += L'"';
        commandLine += argv[i];
        commandLine += L'"';
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return 3;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &administrators))
        return 3;
    SID_AND_ATTRIBUTES disabled = {administrators, 0};
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted)) {
        std::fwprintf(stderr, L"CreateRestrictedToken failed: %lu\n", GetLastError());
        return 3;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessAsUserW(restricted, nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                              nullptr, nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"CreateProcessAsUserW failed: %lu\n", GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(restricted);
    CloseHandle(token);
    FreeSid(administrators);
    return static_cast<int>(status);
}
