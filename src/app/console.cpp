#include "app/console.h"

#include <cwchar>
#include <iostream>

namespace {

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
    for (char c : narrow) {
        // A byte the stream's locale cannot widen comes back as WEOF, which
        // the stream would drop without a trace.
        wchar_t wide = std::wcout.widen(c);
        PutChar(wide == static_cast<wchar_t>(WEOF) ? L'?' : wide);
    }
}

void WritePiece(std::wstring_view wide) {
    for (wchar_t c : wide) PutChar(c);
}

void EndLine() {
    PutChar(L'\n');
    std::wcout.flush();
    if (std::wcout.fail()) std::wcout.clear();
}
