#include "app/console.h"

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
    for (char c : narrow) PutChar(std::wcout.widen(c));
}

void WritePiece(std::wstring_view wide) {
    for (wchar_t c : wide) PutChar(c);
}

void EndLine() {
    PutChar(L'\n');
    std::wcout.flush();
    if (std::wcout.fail()) std::wcout.clear();
}
