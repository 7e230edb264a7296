#include <algorithm>
#include <cstdlib>

#include "platform/standin/reg_file.h"
#include "platform/standin/text_codec.h"

namespace standin {

namespace {

struct Line {
    std::string_view text;  // into the decoded file, which outlives the parse
    size_t number;
};

// The file's lines one at a time, without their line ends, noting which
// line ends the file uses.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(Line* line) {
        if (start_ >= text_.size()) return false;
        size_t end = text_.find('\n', start_);
        bool hasEnd = end != std::string_view::npos;
        if (!hasEnd) end = text_.size();
        std::string_view view = text_.substr(start_, end - start_);
        if (hasEnd) {
            if (!view.empty() && view.back() == '\r') {
                view.remove_suffix(1);
                sawCrlf_ = true;
            } else {
                sawLf_ = true;
            }
        }
        *line = Line{view, number_++};
        start_ = end + 1;
        return true;
    }
    bool Crlf() const { return sawCrlf_ || !sawLf_; }

private:
    std::string_view text_;
    size_t start_ = 0;
    size_t number_ = 1;
    bool sawCrlf_ = false;
    bool sawLf_ = false;
};

// The file's text as UTF-8: a view of the bytes themselves unless the file
// is UTF-16, whose conversion is kept in *converted.
std::string_view DecodeToUtf8(std::string_view bytes, FileFormat* format, std::string* converted) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        format->encoding = FileEncoding::Utf16Le;
        // Converted a piece at a time, so that the file is never held three
        // times over; a piece never ends between the halves of a surrogate pair.
        constexpr size_t kPiece = 1 << 16;
        std::u16string units;
        converted->clear();
        converted->reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
            if (units.size() >= kPiece && (units.back() < 0xD800 || units.back() > 0xDBFF)) {
                *converted += Utf16ToUtf8(units);
                units.clear();
            }
        }
        *converted += Utf16ToUtf8(units);
        return *converted;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        format->encoding = FileEncoding::Utf8Bom;
        return bytes.substr(3);
    }
    format->encoding = FileEncoding::Utf8;
    return bytes;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

class Parser {
public:
    Parser(const std::string& name, State& state) : name_(name), state_(state) {}

    bool Run(std::string_view text);
    const std::string& Error() const { return error_; }
    // The data of a value line the parser accepted before (lines joined with '\n').
    bool DecodeValue(std::string_view joined, std::vector<uint8_t>* bytes);
    std::u16string NameOfValueLine(std::string_view line) {
        std::string_view t = TrimLeft(line);
        std::u16string name;
        if (!t.empty() && t.front() != '@') ParseQuoted(&t, &name, 0);
        return name;
    }

private:
    bool Fail(size_t line, const std::string& reason) {
        error_ = name_ + ":" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool Header(std::string_view text, size_t line);
    bool ValueLine(const Line& first, LineReader& reader);
    bool ParseQuoted(std::string_view* text, std::u16string* out, size_t line);
    bool ParseData(std::string_view data, size_t line, DWORD* type, std::vector<uint8_t>* bytes,
                   bool* remove);

    // The key of a section path; a file lists keys near each other in turn, so
    // the walk starts from the previous section's key where the paths agree.
    std::shared_ptr<Key> SectionKey(std::string_view path);

    const std::string& name_;
    State& state_;
    std::string_view previousPath_;  // the previous section's path, in the file's text
    std::vector<std::shared_ptr<Key>> previousChain_;  // the keys along previousPath_, root first
    std::string error_;
    Section* section_ = nullptr;
    bool sectionDeleted_ = false;
    std::string logicalStore_;  // a value line joined from several, while it is parsed
};

bool Parser::Run(std::string_view text) {
    LineReader reader(text);
    state_.format.finalLineEnd = !text.empty() && text.back() == '\n';
    Line line{};
    size_t blank = 0;
    bool more = reader.Next(&line);
    while (more && TrimRight(line.text).empty()) {
        ++blank;
        more = reader.Next(&line);
    }
    if (!more) return Fail(1, "empty file: no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" header");
    std::string_view head = TrimRight(line.text);
    if (head == "Windows Registry Editor Version 5.00") state_.format.regedit4 = false;
    else if (head == "REGEDIT4") state_.format.regedit4 = true;
    else return Fail(line.number, "not a registry file: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
    state_.format.headerLine = std::string(line.text);
    state_.format.preamble.clear();
    state_.format.leadingBlankLines = blank;

    while (reader.Next(&line)) {
        std::string_view t = TrimLeft(TrimRight(line.text));
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            if (section_) section_->entries.push_back(SectionEntry{false, line.text});
            else if (!sectionDeleted_) state_.format.preamble.emplace_back(line.text);
            continue;
        }
        if (t.front() == '[') {
            if (!Header(t, line.number)) break;
            continue;
        }
        if (t.front() == '"' || t.front() == '@') {
            if (!ValueLine(line, reader)) break;
            continue;
        }
        Fail(line.number, "unrecognised line: expected a [key], a value or a comment");
        break;
    }
    state_.format.crlf = reader.Crlf();
    return error_.empty();
}

bool Parser::Header(std::string_view t, size_t line) {
    if (t.back() != ']') return Fail(line, "a key line must end with ']'");
    std::string_view inner = t.substr(1, t.size() - 2);
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    std::string_view path = inner;
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    // The root is known when it is spelled as the previous section's was.
    std::string_view root = path.substr(0, path.find('\\'));
    size_t used = 0;
    bool knownRoot = !previousPath_.empty() && root == previousPath_.substr(0, previousPath_.find('\\'));
    if (!knownRoot && !RootOfPath(state_, Utf8ToUtf16(root), &used))
        return Fail(line, "unknown root key in [" + std::string(inner) + "]");
    section_ = nullptr;
    sectionDeleted_ = remove;
    if (remove) {
        std::shared_ptr<Key> key = KeyAtPath(state_, Utf8ToUtf16(path), false);
        if (key && (!key->Parent() || key->permanent))
            return Fail(line, "a root key cannot be deleted: [-" + std::string(inner) + "]");
        if (key) key->Parent()->RemoveChild(key->Name());
        return true;
    }
    std::shared_ptr<Key> key = SectionKey(path);
    key->inFile = true;
    key->implicit = false;
    state_.sections.push_back(Section{t, key, {}});
    section_ = &state_.sections.back();
    return true;
}

// Whether two names in the file's text are one name to the registry.
bool SameName(std::string_view a, std::string_view b) {
    if (a == b) return true;
    auto ascii = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (a.size() == b.size() && ascii(a) && ascii(b)) {
        for (size_t i = 0; i < a.size(); ++i)
            if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) return false;
        return true;
    }
    return EqualsFolded(Utf8ToUtf16(a), Utf8ToUtf16(b));
}

std::shared_ptr<Key> Parser::SectionKey(std::string_view path) {
    // Components of the new path that match the previous one, compared as the
    // registry does; those equal to the letter, the usual case, are not converted.
    size_t start = 0, depth = 0;
    while (depth < previousChain_.size()) {
        size_t end = path.find('\\', start);
        size_t length = (end == std::string_view::npos ? path.size() : end) - start;
        size_t prevEnd = previousPath_.find('\\', start);
        size_t prevLength = (prevEnd == std::string_view::npos ? previousPath_.size() : prevEnd) - start;
        if (!SameName(path.substr(start, length), previousPath_.substr(start, prevLength))) break;
        if (previousChain_[depth]->Deleted()) break;
        ++depth;
        // A path that ends here, or a name alike in another spelling of other
        // length (the positions part), ends the walk along the previous path.
        if (end == std::string_view::npos || prevEnd == std::string_view::npos || length != prevLength) {
            start = end == std::string_view::npos ? path.size() : end + 1;
            break;
        }
        start = end + 1;
    }
    std::u16string rest;
    if (depth == 0) {
        size_t used = 0;
        std::u16string whole = Utf8ToUtf16(path);
        previousChain_.assign(1, RootOfPath(state_, whole, &used));
        rest = whole.substr(std::min(used, whole.size()));
    } else {
        previousChain_.resize(depth);
        if (start < path.size()) rest = Utf8ToUtf16(path.substr(start));
    }
    std::shared_ptr<Key> key = DescendPath(previousChain_.back(), rest, true, true, &previousChain_);
    previousPath_ = path;
    return key;
}

bool Parser::ParseQuoted(std::string_view* text, std::u16string* out, size_t line) {
    // Most texts hold no escape: taken whole. A null out only checks the text.
    size_t close = text->find('"', 1);
    if (close != std::string_view::npos && text->substr(1, close - 1).find('\\') == std::string_view::npos) {
        if (out) *out = Utf8ToUtf16(text->substr(1, close - 1));
        text->remove_prefix(close + 1);
        return true;
    }
    std::string raw;
    size_t i = 1;
    bool closed = false;
    for (; i < text->size(); ++i) {
        char c = (*text)[i];
        if (c == '\\' && i + 1 < text->size()) {
            char n = (*text)[++i];
            switch (n) {
                case '\\': raw.push_back('\\'); break;
                case '"': raw.push_back('"'); break;
                case 'n': raw.push_back('\n'); break;
                case 'r': raw.push_back('\r'); break;
                case '0': raw.push_back('\0'); break;
                default: raw.push_back('\\'); raw.push_back(n); break;
            }
            continue;
        }
        if (c == '"') { closed = true; break; }
        raw.push_back(c);
    }
    if (!closed) return Fail(line, "unterminated quoted text");
    if (out) *out = Utf8ToUtf16(raw);
    text->remove_prefix(i + 1);
    return true;
}

// A hexadecimal number of 1 to maxDigits digits and nothing else.
bool ParseHexNumber(std::string_view digits, size_t maxDigits, uint32_t* value) {
    if (digits.empty() || digits.size() > maxDigits) return false;
    *value = 0;
    for (char c : digits) {
        int d = HexDigitValue(static_cast<unsigned char>(c));
        if (d < 0) return false;
        *value = *value * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* out) {
    while (!(text = TrimLeft(TrimRight(text))).empty()) {
        size_t comma = text.find(',');
        uint32_t value = 0;
        if (!ParseHexNumber(TrimRight(text.substr(0, comma)), 2, &value)) return false;
        out->push_back(static_cast<uint8_t>(value));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return true;
}

bool Parser::ParseData(std::string_view data, size_t line, DWORD* type, std::vector<uint8_t>* bytes,
                       bool* remove) {
    data = TrimLeft(data);
    *remove = false;
    if (data == "-") { *remove = true; return true; }
    if (!data.empty() && data.front() == '"') {
        std::u16string text;
        if (!ParseQuoted(&data, bytes ? &text : nullptr, line)) return false;
        data = TrimLeft(data);
        if (!data.empty() && data.front() != ';') return Fail(line, "text after the closing quote");
        *type = REG_SZ;
        if (bytes) {
            text.push_back(0);
            *bytes = Utf16LeBytes(text);
        }
        return true;
    }
    std::vector<uint8_t> scratch;  // the data is checked but not kept
    if (!bytes) bytes = &scratch;
    if (data.rfind("dword:", 0) == 0) {
        uint32_t v = 0;
        if (!ParseHexNumber(TrimRight(data.substr(6)), 8, &v)) return Fail(line, "dword: needs 1 to 8 hexadecimal digits");
        *type = REG_DWORD;
        for (int k = 0; k < 4; ++k) bytes->push_back(static_cast<uint8_t>(v >> (8 * k)));
        return true;
    }
    if (data.rfind("hex", 0) == 0) {
        std::string_view rest = data.substr(3);
        *type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            size_t close = rest.find(')');
            if (close == std::string_view::npos || !ParseHexNumber(rest.substr(1, close - 1), 8, type))
                return Fail(line, "hex(N): needs a hexadecimal type number");
            rest = rest.substr(close + 1);
        }
        if (rest.empty() || rest.front() != ':') return Fail(line, "expected ':' after hex");
        if (!ParseHexBytes(rest.substr(1), bytes)) return Fail(line, "malformed hexadecimal bytes");
        if (state_.format.regedit4 && IsNarrowInRegedit4(*type)) {
            std::vector<uint8_t> wide;
            for (uint8_t b : *bytes) { wide.push_back(b); wide.push_back(0); }
            *bytes = std::move(wide);
        }
        return true;
    }
    return Fail(line, "unknown value data: expected \"text\", dword:, hex: or hex(N):");
}

bool Parser::ValueLine(const Line& first, LineReader& reader) {
    size_t line = first.number;
    std::string_view joined = first.text;
    std::string_view logical = TrimRight(joined);
    // Hex data may continue over lines that end in a backslash.
    if (!logical.empty() && logical.back() == '\\' && logical.find("=hex") != std::string_view::npos) {
        std::string joinedLines(joined), logicalLine(logical);
        Line next{};
        while (!logicalLine.empty() && logicalLine.back() == '\\' && reader.Next(&next)) {
            joinedLines += '\n';
            joinedLines += next.text;
            logicalLine.pop_back();
            logicalLine += std::string(TrimLeft(TrimRight(next.text)));
        }
        joined = state_.joinedLines.emplace_back(std::move(joinedLines));
        logicalStore_ = std::move(logicalLine);
        logical = logicalStore_;
    }
    if (!section_) {
        if (sectionDeleted_) return true;
        return Fail(line, "a value must follow a [key] line");
    }
    std::string_view t = TrimLeft(logical);
    std::u16string valueName;
    if (t.front() == '@') {
        t.remove_prefix(1);
    } else if (!ParseQuoted(&t, &valueName, line)) {
        return false;
    }
    t = TrimLeft(t);
    if (t.empty() || t.front() != '=') return Fail(line, "expected '=' after the value name");
    DWORD type = REG_NONE;
    bool remove = false;
    // Checked here; the value keeps its line and decodes it when asked for.
    if (!ParseData(t.substr(1), line, &type, nullptr, &remove)) return false;
    Key& key = *section_->key;
    if (remove) {
        key.RemoveValue(valueName);
        return true;
    }
    Value& value = key.SetValue(valueName, type, {});
    value.KeepFileText(joined);
    section_->entries.push_back(SectionEntry{true, first.text});
    return true;
}

bool Parser::DecodeValue(std::string_view joined, std::vector<uint8_t>* bytes) {
    size_t end = joined.find('\n');
    std::string logical(TrimRight(joined.substr(0, end)));
    while (end != std::string_view::npos) {
        size_t start = end + 1;
        end = joined.find('\n', start);
        if (!logical.empty()) logical.pop_back();  // the continuation's backslash
        logical += std::string(TrimLeft(TrimRight(joined.substr(start, end == std::string_view::npos ? end : end - start))));
    }
    std::string_view t = TrimLeft(logical);
    std::u16string name;
    if (!t.empty() && t.front() == '@') {
        t.remove_prefix(1);
    } else if (!ParseQuoted(&t, &name, 0)) {
        return false;
    }
    t = TrimLeft(t);
    if (t.empty() || t.front() != '=') return false;
    DWORD type = REG_NONE;
    bool remove = false;
    return ParseData(t.substr(1), 0, &type, bytes, &remove);
}

}  // namespace

namespace {

// A parser for lines the loader has already accepted: it reports nothing.
Parser MakeAcceptedLineParser() {
    static const std::string kName = "(accepted line)";
    return Parser(kName, TheState());
}

}  // namespace

std::u16string ValueNameOfLine(std::string_view line) {
    return MakeAcceptedLineParser().NameOfValueLine(line);
}

void DecodeValueText(std::string_view text, std::vector<uint8_t>* data) {
    data->clear();
    MakeAcceptedLineParser().DecodeValue(text, data);
}

bool ParseRegFile(std::string bytes, const std::string& name, State& state, std::string* error) {
    std::string converted;
    DecodeToUtf8(bytes, &state.format, &converted);
    state.joinedLines.clear();
    size_t bom = 0;
    if (state.format.encoding == FileEncoding::Utf16Le) {
        state.text = std::move(converted);
        std::string().swap(bytes);  // only the conversion is kept
    } else {
        bom = state.format.encoding == FileEncoding::Utf8Bom ? 3 : 0;
        state.text = std::move(bytes);
    }
    std::string_view text = std::string_view(state.text).substr(bom);
    Parser parser(name, state);
    if (parser.Run(text)) return true;
    *error = parser.Error();
    return false;
}

}  // namespace standin
