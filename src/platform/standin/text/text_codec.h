// Text conversions inside the stand-in: registry data is UTF-16, the host's
// files and paths are UTF-8, and the product's wide strings hold one UTF-16
// code unit per wchar_t, as they would on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);
// Invalid UTF-8 bytes are taken as Latin-1, so no input is refused; a
// surrogate spelled in three bytes is that code unit.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates are written as U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-16LE bytes (an odd last byte is no unit) as UTF-8 that converts back
// to the same units: an unpaired surrogate keeps its three-byte form.
std::string Utf16LeToUtf8(std::string_view bytes);
// The UTF-16LE bytes of code units, and the code units of UTF-16LE bytes (an
// odd last byte is no unit).
std::vector<uint8_t> Utf16LeBytes(std::u16string_view units);
std::u16string Utf16LeUnits(const std::vector<uint8_t>& bytes);
// The value of a hexadecimal digit, or -1.
inline int HexDigitValue(char32_t c) {
    if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
    if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
    if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
    return -1;
}

// Lower-cases the way the registry compares names (ASCII and Latin-1).
inline char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

inline bool EqualsFolded(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

}  // namespace standin
