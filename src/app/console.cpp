#include "app/console.h"

#include <cstdio>
#include <cwchar>
#include <iostream>
#include <string>

#include "platform/platform.h"

namespace {

// Whether standard output is a console, asked again only when its handle changes.
HANDLE ConsoleHandle() {
    static HANDLE asked = nullptr;
    static HANDLE console = nullptr;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != asked) {
        asked = out;
        DWORD mode = 0;
        bool usable = out && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode);
        console = usable ? out : nullptr;
    }
    return console;
}

// The line being gathered for the console, which takes it whole at its end.
std::wstring& ConsoleLine() {
    static std::wstring line;
    return line;
}

// Characters gather in the output buffer and leave a line at a time, at each
// line's flush: an unbuffered stream would take them one call each.
void BufferOutput() {
    static const bool buffered = std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14) == 0;
    (void)buffered;
}

using Traits = std::wostream::traits_type;

void PutChar(wchar_t c) {
    // A character equal to the stream's end-of-file mark (U+FFFF where wide
    // characters are 16 bits) would be taken for it and dropped.
    if (Traits::eq_int_type(Traits::to_int_type(c), Traits::eof())) c = L'?';
    std::wcout.put(c);
    if (std::wcout.fail()) {
        std::wcout.clear();
        std::wcout.put(L'?');
        if (std::wcout.fail()) std::wcout.clear();
    }
}

}  // namespace

void WritePiece(std::string_view narrow) {
    const bool console = ConsoleHandle() != nullptr;
    if (!console) BufferOutput();
    for (char c : narrow) {
        // A byte the stream's locale cannot widen comes back as WEOF, which
        // the stream would drop without a trace.
        wchar_t wide = std::wcout.widen(c);
        if (wide == static_cast<wchar_t>(WEOF)) wide = L'?';
        if (console) {
            ConsoleLine().push_back(wide);
        } else {
            PutChar(wide);
        }
    }
}

void WritePiece(std::wstring_view wide) {
    if (ConsoleHandle()) {
        ConsoleLine().append(wide);
        return;
    }
    BufferOutput();
    for (wchar_t c : wide) PutChar(c);
}

void EndLine() {
    if (HANDLE console = ConsoleHandle()) {
        std::wstring& line = ConsoleLine();
        line += L"\r\n";
        const wchar_t* next = line.data();
        DWORD left = static_cast<DWORD>(line.size());
        DWORD written = 0;
        while (left > 0 && WriteConsoleW(console, next, left, &written, nullptr) && written > 0) {
            next += written;
            left -= written;
        }
        line.clear();
        return;
    }
    BufferOutput();
    PutChar(L'\n');
    std::wcout.flush();
    if (std::wcout.fail()) std::wcout.clear();
}
