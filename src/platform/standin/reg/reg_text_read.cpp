#include <algorithm>
#include <cstdlib>

#include "platform/standin/reg/reg_text.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

struct Line {
    std::string_view text;  // into the decoded file, which outlives the parse
    size_t number;
};

// Owns nothing: views the file's lines one at a time, without their line
// ends, and notes which line ends the file uses; it cannot fail.
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
    // Where the next line starts.
    size_t Position() const { return start_; }

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
        std::string_view units = bytes.substr(2);
        if (units.size() % 2) format->oddByte = std::string(units.substr(units.size() - 1));
        *converted = Utf16LeToUtf8(units);
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

// Reads a quoted text at the start of *text, escapes resolved into *out when
// given, and moves *text past it; false when it is not closed.
bool ReadQuoted(std::string_view* text, std::u16string* out) {
    // Most texts hold no escape: taken whole.
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
    if (!closed) return false;
    if (out) *out = Utf8ToUtf16(raw);
    text->remove_prefix(i + 1);
    return true;
}

enum class HeadError { None, Unterminated, NoEquals };

// Splits a (logical) value line into its name ("" for '@') and the data after '='.
HeadError SplitValueLine(std::string_view line, std::u16string* name, std::string_view* data) {
    std::string_view t = TrimLeft(line);
    if (name) name->clear();
    if (!t.empty() && t.front() == '@') {
        t.remove_prefix(1);
    } else if (!ReadQuoted(&t, name)) {
        return HeadError::Unterminated;
    }
    t = TrimLeft(t);
    if (t.empty() || t.front() != '=') return HeadError::NoEquals;
    *data = TrimLeft(t.substr(1));
    return HeadError::None;
}

// A value line and the lines it continues over: hex data may continue over
// lines that end in a backslash.
struct ValueLines {
    std::string_view raw;      // from the first line to the last, line ends inside
    std::string_view logical;  // the data's lines joined, without backslashes and comments
    std::string_view open;     // the backslash of a continuation that the file ends in, if any
};

// One line's part of hex data: up to a comment, without the blanks around
// it; *backslash views a backslash that continues it (taken off the part).
std::string_view HexPart(std::string_view part, std::string_view* backslash) {
    part = TrimRight(part.substr(0, part.find(';')));
    *backslash = {};
    if (!part.empty() && part.back() == '\\') {
        *backslash = part.substr(part.size() - 1);
        part = TrimRight(part.substr(0, part.size() - 1));
    }
    return part;
}

// A line that a continuation passes over, as regedit does: blank, or a comment.
bool IsContinuationGap(std::string_view line) {
    std::string_view t = TrimLeft(TrimRight(line));
    return t.empty() || t.front() == ';';
}

// Hex data ("hex:", "hex(N):") continues where a line ends in a backslash
// after a comma or its colon, blank and comment lines in between passed over
// as regedit passes them; a backslash anywhere else is malformed and kept in
// the logical line, so that the parse fails there. Other data never continues.
ValueLines ReadValueLines(const Line& first, LineReader& reader, std::string* store) {
    std::string_view logical = TrimRight(first.text);
    ValueLines lines{first.text, logical, {}};
    std::string_view data;
    if (SplitValueLine(logical, nullptr, &data) != HeadError::None || data.rfind("hex", 0) != 0) return lines;
    std::string_view backslash;
    std::string_view part = HexPart(data, &backslash);
    if (backslash.empty() && part.size() == data.size()) return lines;  // one line, as it stands
    std::string joined(logical.substr(0, static_cast<size_t>(data.data() - logical.data())));
    for (;;) {
        joined += part;
        if (backslash.empty()) break;
        if (part.empty() || (part.back() != ',' && part.back() != ':')) {
            joined += '\\';
            break;
        }
        Line next{};
        bool more = reader.Next(&next);
        while (more && IsContinuationGap(next.text)) more = reader.Next(&next);
        if (!more) {
            lines.open = backslash;
            break;
        }
        lines.raw = std::string_view(first.text.data(),
                                     static_cast<size_t>(next.text.data() + next.text.size() - first.text.data()));
        part = HexPart(TrimLeft(next.text), &backslash);
    }
    *store = std::move(joined);
    lines.logical = *store;
    return lines;
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether two names in the file's text are one name to the registry.
bool SameName(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (a.size() == b.size() && IsAscii(a) && IsAscii(b)) {
        for (size_t i = 0; i < a.size(); ++i)
            if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) return false;
        return true;
    }
    return EqualsFolded(Utf8ToUtf16(a), Utf8ToUtf16(b));
}

// Reads a file's sections and values into a tree, which refers into the text;
// a line it cannot accept ends the parse with "<name>:<line>: <reason>".
class Parser {
public:
    // A parser of a file into a tree, whose form it fills in.
    Parser(const std::string& name, Tree& tree, FileFormat& format) : name_(name), tree_(&tree), format_(&format) {}
    // A parser of lines already accepted, in the given dialect.
    explicit Parser(bool regedit4) : name_(kAccepted), regedit4_(regedit4) {}

    bool Run(std::string_view text);
    const std::string& Error() const { return error_; }
    // Checks a value's data (after '='); fills *bytes when given.
    bool ParseData(std::string_view data, size_t line, DWORD* type, std::vector<uint8_t>* bytes, bool* remove);

private:
    bool Fail(size_t line, const std::string& reason) {
        error_ = name_ + ":" + std::to_string(line) + ": " + reason;
        return false;
    }
    bool Header(std::string_view text, size_t line);
    bool ValueLine(const Line& first, LineReader& reader);
    // Ends the current section's body where the line at offset end starts.
    void EndSection(size_t end);

    // The key of a section path; a file lists keys near each other in turn, so
    // the walk starts from the previous section's key where the paths agree.
    Key* SectionKey(std::string_view path);

    const std::string& name_;
    static inline const std::string kAccepted = "(accepted line)";
    Tree* tree_ = nullptr;
    FileFormat* format_ = nullptr;
    bool regedit4_ = false;
    std::string_view text_;
    std::string_view previousPath_;  // the previous section's path, in the file's text
    std::vector<Key*> previousChain_;  // the key at each component of previousPath_, root first
    std::string error_;
    Section* section_ = nullptr;
    size_t bodyStart_ = 0;
    bool sectionDeleted_ = false;
    std::string logicalStore_;  // a value line joined from several, while it is parsed
};

// A line that imports nothing: blank, a comment, or the DOS end-of-file
// byte that old editors leave on a line of its own, which regedit ignores.
bool IsIgnoredLine(std::string_view t) {
    return t.empty() || t.front() == ';' || t.front() == '#' || t == "\x1A";
}

bool Parser::Run(std::string_view text) {
    text_ = text;
    LineReader reader(text);
    Line line{};
    bool more = reader.Next(&line);
    while (more && TrimRight(line.text).empty()) more = reader.Next(&line);
    if (!more) return Fail(1, "empty file: no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" header");
    std::string_view head = TrimRight(line.text);
    if (head == "Windows Registry Editor Version 5.00") regedit4_ = false;
    else if (head == "REGEDIT4") regedit4_ = true;
    else return Fail(line.number, "not a registry file: expected \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");

    while (reader.Next(&line)) {
        std::string_view t = TrimLeft(TrimRight(line.text));
        if (IsIgnoredLine(t)) continue;
        if (t.front() == '[') {
            EndSection(static_cast<size_t>(line.text.data() - text.data()));
            if (!Header(t, line.number)) break;
            bodyStart_ = std::min(reader.Position(), text.size());  // past the end after a last line without an end
            continue;
        }
        if (t.front() == '"' || t.front() == '@') {
            if (!ValueLine(line, reader)) break;
            continue;
        }
        Fail(line.number, "unrecognised line: expected a [key], a value or a comment");
        break;
    }
    EndSection(text.size());
    format_->crlf = reader.Crlf();
    format_->regedit4 = tree_->regedit4 = regedit4_;
    return error_.empty();
}

void Parser::EndSection(size_t end) {
    if (!section_) return;
    section_->body = text_.substr(bodyStart_, std::max(end, bodyStart_) - bodyStart_);
    section_ = nullptr;
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
    if (!knownRoot && !tree_->RootOfPath(Utf8ToUtf16(root), &used))
        return Fail(line, "unknown root key in [" + std::string(inner) + "]");
    sectionDeleted_ = remove;
    if (remove) {
        Key* key = tree_->KeyAtPath(Utf8ToUtf16(path), false);
        if (key && (!key->Parent() || key->permanent))
            return Fail(line, "a root key cannot be deleted: [-" + std::string(inner) + "]");
        if (key) key->Parent()->RemoveChild(key);
        return true;
    }
    Key* key = SectionKey(path);
    section_ = &tree_->sections.emplace_back();
    section_->key = key;
    key->AddSection(section_);
    return true;
}

Key* Parser::SectionKey(std::string_view path) {
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
    if (depth == 0) {
        std::string_view root = path.substr(0, path.find('\\'));
        size_t used = 0;
        previousChain_.assign(1, tree_->RootOfPath(Utf8ToUtf16(root), &used));
        start = std::min(root.size() + 1, path.size());
    } else {
        previousChain_.resize(depth);
    }
    Key* key = previousChain_.back();
    while (start < path.size()) {
        size_t end = std::min(path.find('\\', start), path.size());
        std::string_view part = path.substr(start, end - start);
        start = end + 1;
        // An empty component names no key; the chain still has an entry for
        // it, so that its positions stay those of the path's components.
        if (!part.empty()) {
            if (IsAscii(part)) {
                key = key->AddChild(NameView::Ascii(part), nullptr, false);
            } else {
                std::u16string wide = Utf8ToUtf16(part);
                key = key->AddChild(NameView::Wide(wide), nullptr, true);
            }
        }
        previousChain_.push_back(key);
    }
    previousPath_ = path;
    return key;
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

// Bytes as regedit reads them: blanks may come before a byte or at the end
// of the list, never between a byte and its comma.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* out) {
    while (!(text = TrimLeft(TrimRight(text))).empty()) {
        size_t comma = text.find(',');
        uint32_t value = 0;
        if (!ParseHexNumber(text.substr(0, comma), 2, &value)) return false;
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
        if (!ReadQuoted(&data, bytes ? &text : nullptr)) return Fail(line, "unterminated quoted text");
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
        std::string_view digits = data.substr(6);
        if (!ParseHexNumber(TrimLeft(TrimRight(digits.substr(0, digits.find(';')))), 8, &v))
            return Fail(line, "dword: needs 1 to 8 hexadecimal digits");
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
        if (regedit4_ && IsNarrowInRegedit4(*type)) {
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
    ValueLines lines = ReadValueLines(first, reader, &logicalStore_);
    std::string_view logical = lines.logical;
    if (!lines.open.empty()) tree_->openContinuation = lines.open;
    if (!section_) {
        if (sectionDeleted_) return true;
        return Fail(line, "a value must follow a [key] line");
    }
    std::string_view data;
    switch (SplitValueLine(logical, nullptr, &data)) {
        case HeadError::Unterminated: return Fail(line, "unterminated quoted text");
        case HeadError::NoEquals: return Fail(line, "expected '=' after the value name");
        case HeadError::None: break;
    }
    DWORD type = REG_NONE;
    bool remove = false;
    // Checked here; the key reads its values from the section when first asked.
    return ParseData(data, line, &type, nullptr, &remove);
}

// The joined line of a value entry the loader accepted.
std::string_view LogicalLine(std::string_view text, std::string* store) {
    LineReader reader(text);
    Line first{};
    reader.Next(&first);
    return ReadValueLines(first, reader, store).logical;
}

}  // namespace

void VisitSectionBody(std::string_view body, const std::function<void(const BodyEntry&)>& visit) {
    LineReader reader(body);
    Line line{};
    std::string store;
    while (reader.Next(&line)) {
        std::string_view t = TrimLeft(TrimRight(line.text));
        if (t.empty() || (t.front() != '"' && t.front() != '@')) {
            visit(BodyEntry{BodyEntry::Kind::Comment, line.text});
            continue;
        }
        ValueLines lines = ReadValueLines(line, reader, &store);
        std::string_view data;
        SplitValueLine(lines.logical, nullptr, &data);
        visit(BodyEntry{data == "-" ? BodyEntry::Kind::Removal : BodyEntry::Kind::Value, lines.raw});
    }
}

void ParseValueEntry(std::string_view text, bool regedit4, std::u16string* name, DWORD* type) {
    std::string store;
    std::string_view data;
    SplitValueLine(LogicalLine(text, &store), name, &data);
    bool remove = false;
    Parser(regedit4).ParseData(data, 0, type, nullptr, &remove);
}

void DecodeValueText(std::string_view text, bool regedit4, std::vector<uint8_t>* data) {
    data->clear();
    std::string store;
    std::string_view rest;
    if (SplitValueLine(LogicalLine(text, &store), nullptr, &rest) != HeadError::None) return;
    DWORD type = REG_NONE;
    bool remove = false;
    Parser(regedit4).ParseData(rest, 0, &type, data, &remove);
}

bool ParseRegFile(std::string bytes, const std::string& name, Tree& tree, FileFormat& format, std::string* error) {
    std::string converted;
    DecodeToUtf8(bytes, &format, &converted);
    size_t bom = 0;
    if (format.encoding == FileEncoding::Utf16Le) {
        tree.text = std::move(converted);
        std::string().swap(bytes);  // only the conversion is kept
    } else {
        bom = format.encoding == FileEncoding::Utf8Bom ? 3 : 0;
        tree.text = std::move(bytes);
    }
    std::string_view text = std::string_view(tree.text).substr(bom);
    Parser parser(name, tree, format);
    tree.loading = true;
    bool ok = parser.Run(text);
    tree.loading = false;
    tree.MarkLoaded();
    if (ok) return true;
    *error = parser.Error();
    return false;
}

}  // namespace standin
