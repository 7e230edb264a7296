#include "app/output_form.h"

#include <cstdio>

#include "app/console.h"

namespace {

bool& JsonFlag() {
    static bool json = false;
    return json;
}

void Escape(unsigned unit, std::string* out) {
    if (unit == '"' || unit == '\\') {
        out->push_back('\\');
        out->push_back(static_cast<char>(unit));
    } else if (unit >= 0x20 && unit <= 0x7E) {
        out->push_back(static_cast<char>(unit));
    } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", unit & 0xFFFF);
        *out += escaped;
    }
}

}  // namespace

void UseJsonLines(bool json) {
    JsonFlag() = json;
}

bool JsonLines() {
    return JsonFlag();
}

std::string JsonString(std::wstring_view text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        auto unit = static_cast<unsigned>(c);
        if (unit > 0xFFFF) {  // a 32-bit wchar_t: its UTF-16 code units
            unit -= 0x10000;
            Escape(0xD800 + (unit >> 10), &out);
            Escape(0xDC00 + (unit & 0x3FF), &out);
            continue;
        }
        Escape(unit, &out);
    }
    return out + "\"";
}

std::string JsonString(std::string_view narrow) {
    std::string out = "\"";
    for (char c : narrow) Escape(static_cast<unsigned char>(c), &out);
    return out + "\"";
}

void ReportError(std::string_view text, std::optional<std::wstring> thing, std::optional<LONG> status) {
    if (!JsonLines()) {
        std::wstring suffix;
        if (thing) suffix = L" [" + *thing + L"]";
        std::string error = status ? " (error " + std::to_string(*status) + ")" : "";
        WriteLine("ERROR: ", text, suffix, error);
        return;
    }
    std::wstring message(text.begin(), text.end());
    if (thing) message += L" [" + *thing + L"]";
    std::string line = "{\"error\": " + JsonString(message);
    if (status) line += ", \"status\": " + std::to_string(*status);
    WriteLine(line + "}");
}
