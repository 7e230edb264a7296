#include "platform/standin/text/text_codec.h"

namespace standin {

std::u16string WideToUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        auto cp = static_cast<uint32_t>(c);
        if (cp > 0xFFFF && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp & 0xFFFF));
        }
    }
    return out;
}

std::wstring Utf16ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.resize(text.size());  // never more units than bytes
    char16_t* to = out.data();
    const auto* from = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = 0;
    size_t i = 0;
    while (i < text.size()) {
        // Runs of ASCII, the common case, are copied a byte a unit.
        while (i < text.size() && from[i] < 0x80) to[n++] = from[i++];
        if (i == text.size()) break;
        auto b = from[i];
        uint32_t cp = b;
        size_t extra = 0;
        if (b >= 0xF0 && b <= 0xF4) { cp = b & 0x07; extra = 3; }
        else if (b >= 0xE0 && b <= 0xEF) { cp = b & 0x0F; extra = 2; }
        else if (b >= 0xC2 && b <= 0xDF) { cp = b & 0x1F; extra = 1; }
        bool valid = extra > 0;
        for (size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= text.size()) { valid = false; break; }
            auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // A surrogate spelled in three bytes stands for that code unit: the
        // form a UTF-16 file's unpaired surrogate takes in the loaded text.
        if (valid && ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))))
            valid = false;
        if (!valid) {
            out[n++] = static_cast<char16_t>(b);  // not UTF-8: taken as Latin-1
            ++i;
            continue;
        }
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(cp);
        }
        i += extra + 1;
    }
    out.resize(n);
    return out;
}

namespace {

// Appends count UTF-16 code units, unit(i) each, as UTF-8; an unpaired
// surrogate becomes U+FFFD, or with keepLone its own three-byte form.
template <typename UnitAt>
void AppendUtf8(size_t count, UnitAt unit, std::string* out, bool keepLone = false) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t cp = unit(i);
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF && !keepLone) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8(text.size(), [text](size_t i) { return static_cast<uint32_t>(text[i]); }, &out);
    return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    AppendUtf8(bytes.size() / 2, [b](size_t i) { return static_cast<uint32_t>(b[2 * i] | (b[2 * i + 1] << 8)); },
               &out, true);
    return out;
}

std::vector<uint8_t> Utf16LeBytes(std::u16string_view units) {
    std::vector<uint8_t> bytes(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    return bytes;
}

std::u16string Utf16LeUnits(const std::vector<uint8_t>& bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return units;
}

}  // namespace standin
