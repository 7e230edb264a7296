#include "app/console.h"

#include <cstdio>
#include <cwchar>
#include <iostream>

namespace {

// Characters gather in the output buffer and leave a line at a time, at each
// line's flush: an unbuffered console would take them one call each.
void BufferOutput() {
    static const bool buffered = std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14) == 0;
    (void)buffered;
}

void PutChar(wchar_t c) {
    std::wcout.put(c);
    if (std::wcout.fail()) {
        std::wcout.clear();
        std::wcout.put(L'?');
        if (std::wcout.fail()) std::wcout.clear();
    }
}

}  // namespace

void WritePiece(std::string_view narrow) {
    BufferOutput();
    for (char c : narrow) {
        // A byte the stream's locale cannot widen comes back as WEOF, which
        // the stream would drop without a trace.
        wchar_t wide = std::wcout.widen(c);
        PutChar(wide == static_cast<wchar_t>(WEOF) ? L'?' : wide);
    }
}

void WritePiece(std::wstring_view wide) {
    BufferOutput();
    for (wchar_t c : wide) PutChar(c);
}

void EndLine() {
    BufferOutput();
    PutChar(L'\n');
    std::wcout.flush();
    if (std::wcout.fail()) std::wcout.clear();
}
