// Standard output's handle and the console functions. Standard output is a
// file or a pipe, as the native tool's always is, unless a test makes it a
// console; then GetConsoleMode succeeds on it and WriteConsoleW keeps the text.
#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/process_state.h"

using namespace standin;

namespace {

// Handle values as Windows hands them out: a file's and a console's differ.
HANDLE const kFileHandle = reinterpret_cast<HANDLE>(uintptr_t{0x10});
HANDLE const kConsoleHandle = reinterpret_cast<HANDLE>(uintptr_t{0x14});

}  // namespace

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_OUTPUT_HANDLE) return INVALID_HANDLE_VALUE;
    return TheProcess().console ? kConsoleHandle : kFileHandle;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    if (!TheProcess().console || console != kConsoleHandle || !mode) {
        TheProcess().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *mode = 0x7;  // processed input and output, wrap at end of line: the defaults
    return TRUE;
}

BOOL WriteConsoleW(HANDLE console, const void* text, DWORD chars, LPDWORD written, LPVOID) {
    if (RunCallHooks("WriteConsoleW", false) || !TheProcess().console || console != kConsoleHandle || !text) {
        TheProcess().lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    TheProcess().consoleText.append(static_cast<const wchar_t*>(text), chars);
    if (written) *written = chars;
    return TRUE;
}
