// The .reg writer: the loaded file's text copied as it was, line ends and
// all, with the few edits that the run's changes need. A value the run set
// that a line of the file set last has that line's data rewritten; one the
// file did not hold is added at the end of its key's last section; keys the
// run made, and keys of the file it deleted, are added at the end.
#include <algorithm>
#include <cstdio>

#include "platform/standin/reg/reg_text.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

constexpr size_t kHexWrap = 77;  // where regedit breaks a line of hex bytes
constexpr std::string_view kDefaultHead = "Windows Registry Editor Version 5.00\r\n\r\n";

// Owns the file's bytes as they are built from UTF-8 text, in the file's
// encoding (lone surrogates kept as WTF-8 gave them); it cannot fail.
class Output {
public:
    // sizeHint: the bytes expected, reserved at once.
    Output(const FileFormat& format, size_t sizeHint) : format_(format) {
        bytes_.reserve(sizeHint);
        if (format.encoding == FileEncoding::Utf8Bom) bytes_ = "\xEF\xBB\xBF";
        if (format.encoding == FileEncoding::Utf16Le) bytes_ = "\xFF\xFE";
    }
    void Append(std::string_view utf8) {
        if (format_.encoding != FileEncoding::Utf16Le) {
            bytes_.append(utf8);
            return;
        }
        // ASCII runs a byte at a time; the others through the converter.
        auto ascii = [&](size_t i) { return static_cast<unsigned char>(utf8[i]) < 0x80; };
        for (size_t i = 0; i < utf8.size();) {
            size_t end = i;
            while (end < utf8.size() && ascii(end)) ++end;
            size_t at = bytes_.size();
            bytes_.resize(at + 2 * (end - i));
            for (; i < end; ++i, at += 2) bytes_[at] = utf8[i];
            while (end < utf8.size() && !ascii(end)) ++end;
            for (char16_t u : Utf8ToUtf16(utf8.substr(i, end - i))) {
                bytes_.push_back(static_cast<char>(u & 0xFF));
                bytes_.push_back(static_cast<char>(u >> 8));
            }
            i = end;
        }
    }
    std::string Finish() {
        bytes_ += format_.oddByte;
        return std::move(bytes_);
    }

private:
    const FileFormat& format_;
    std::string bytes_;
};

// A REG_SZ that reads back exactly from the "text" form.
bool HasStringForm(const Value& v) {
    if (v.type != REG_SZ || v.Data().size() < 2 || v.Data().size() % 2) return false;
    std::u16string units = Utf16LeUnits(v.Data());
    if (units.back() != 0) return false;
    units.pop_back();
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t u = units[i];
        if (u == 0) return false;
        bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return false;  // UTF-8 text cannot carry an unpaired surrogate
        }
    }
    return true;
}

std::string NamePart(const Value& v) {
    if (v.name.empty()) return "@";
    return "\"" + EscapeRegString(v.name) + "\"";
}

// Hex bytes after a prefix that starts the line at column `column`, broken
// where regedit breaks them, continuation lines ended by eol.
std::string HexPart(std::string prefix, size_t column, const std::vector<uint8_t>& bytes, std::string_view eol) {
    std::string out = std::move(prefix);
    size_t lineLength = column + out.size();
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        out += digits;
        if (i + 1 == bytes.size()) break;
        out += ',';
        lineLength += 3;
        if (lineLength >= kHexWrap) {
            out += "\\";
            out += eol;
            out += "  ";
            lineLength = 2;
        }
    }
    return out;
}

// A value's data as the file spells it after '=', starting at `column`.
std::string DataText(const Value& v, bool regedit4, size_t column, std::string_view eol) {
    if (HasStringForm(v)) {
        std::u16string units = Utf16LeUnits(v.Data());
        units.pop_back();
        return "\"" + EscapeRegString(units) + "\"";
    }
    const std::vector<uint8_t>& data = v.Data();
    if (v.type == REG_DWORD && data.size() == 4) {
        char text[20];
        uint32_t d = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
        std::snprintf(text, sizeof text, "dword:%08x", d);
        return text;
    }
    std::vector<uint8_t> bytes = data;
    if (regedit4 && IsNarrowInRegedit4(v.type)) {
        bytes.clear();
        for (char16_t u : Utf16LeUnits(data)) bytes.push_back(u > 0xFF ? '?' : static_cast<uint8_t>(u));
    }
    char prefix[16] = "hex:";
    if (v.type != REG_BINARY) std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
    return HexPart(prefix, column, bytes, eol);
}

std::string ValueLine(const Value& v, bool regedit4, std::string_view eol) {
    std::string name = NamePart(v) + "=";
    return name + DataText(v, regedit4, name.size(), eol);
}

std::string DisplayPath(const Key& key) {
    std::u16string path = key.Path();
    std::u16string classes = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
    if (path.size() >= classes.size() && EqualsFolded(path.substr(0, classes.size()), classes) &&
        (path.size() == classes.size() || path[classes.size()] == u'\\'))
        path = u"HKEY_CLASSES_ROOT" + path.substr(classes.size());
    return Utf16ToUtf8(path);
}

// The line end that starts at `at`, or "" when none does.
std::string_view LineEndAt(std::string_view text, size_t at) {
    if (at < text.size() && text[at] == '\n') return text.substr(at, 1);
    if (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n') return text.substr(at, 2);
    return {};
}

// Where an entry's data starts: past its name, '=' and the blanks after it.
size_t DataStart(std::string_view entry) {
    size_t i = 0;
    while (i < entry.size() && (entry[i] == ' ' || entry[i] == '\t')) ++i;
    if (i < entry.size() && entry[i] == '@') {
        ++i;
    } else {
        for (++i; i < entry.size() && entry[i] != '"'; ++i)
            if (entry[i] == '\\') ++i;
        ++i;
    }
    while (i < entry.size() && entry[i] != '=') ++i;
    for (++i; i < entry.size() && (entry[i] == ' ' || entry[i] == '\t');) ++i;
    return std::min(i, entry.size());
}

// What follows a quoted text on its line (blanks and a comment), or "".
std::string_view AfterQuotedText(std::string_view data) {
    if (data.empty() || data.front() != '"') return {};
    for (size_t i = 1; i < data.size(); ++i) {
        if (data[i] == '\\') {
            ++i;
        } else if (data[i] == '"') {
            return data.substr(i + 1);
        }
    }
    return {};
}

// Lines to insert where a line ends (each followed by eol) or at the end of a
// last line without one (each preceded by eol, so the file still ends so).
std::string Lines(const std::vector<std::string>& lines, bool afterLineEnd, std::string_view eol) {
    std::string text;
    for (const std::string& line : lines) {
        if (!afterLineEnd) text += eol;
        text += line;
        if (afterLineEnd) text += eol;
    }
    return text;
}

// What follows a one-line entry's data: the blanks and comment after a quoted
// text, or a comment after other data with the blanks before it; or "".
std::string_view TrailingComment(std::string_view entry, size_t dataStart) {
    if (entry.find('\n') != std::string_view::npos) return {};
    std::string_view data = entry.substr(dataStart);
    if (!data.empty() && data.front() == '"') return AfterQuotedText(data);
    size_t from = data.find(';');
    if (from == std::string_view::npos) return {};
    while (from > 0 && (data[from - 1] == ' ' || data[from - 1] == '\t')) --from;
    return data.substr(from);
}

// Replaces the bytes [at, at + length) of the text.
struct Edit {
    size_t at;
    size_t length;
    std::string text;
};

// Owns the edits that give the loaded text the run's changes, worked out
// key by key; it cannot fail (every change has a spelling).
class EditPlan {
public:
    EditPlan(const Tree& tree, const FileFormat& format, std::string_view text)
        : tree_(tree), regedit4_(format.regedit4), text_(text) {
        eol_ = format.crlf ? "\r\n" : "\n";
    }

    void Visit(const Key& key) {
        if (key.FirstSection()) {
            if (key.ValuesEdited()) EditSections(key);
        } else if (key.CreatedByRun()) {
            // A key whose children the run made too is spelled by their lines.
            bool implied = key.Values().empty() && key.ChildCount() > 0;
            if (!implied && !key.permanent) AppendKey(key);
        } else if (key.ValuesEdited()) {
            AppendKey(key);  // a key the file only implies: every value is the run's
        }
        for (const Key* child : key.OrderedChildren()) Visit(*child);
    }

    void NoteDeletions() {
        for (const Key* key : tree_.removedByRun) tail_.push_back("[-" + DisplayPath(*key) + "]");
        if (!tail_.empty()) tail_.push_back("");
    }

    // The edits in file order, the added keys last.
    std::vector<Edit> Finish(size_t headEnd) {
        if (!tail_.empty()) edits_.push_back(TailEdit(headEnd));
        CloseOpenContinuation();
        std::stable_sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
        return std::move(edits_);
    }

private:
    size_t Offset(std::string_view view) const { return static_cast<size_t>(view.data() - text_.data()); }

    // A file that ends in a hex value's continuation would have lines added
    // after it read as more of that value (regedit passes over blank lines
    // there): its backslash goes, which leaves the value's bytes as they are.
    void CloseOpenContinuation() {
        if (tree_.openContinuation.empty()) return;
        size_t at = Offset(tree_.openContinuation);
        bool insertedAfter = false;
        for (const Edit& e : edits_) {
            if (e.at <= at && at < e.at + e.length) return;  // the value's lines are rewritten
            insertedAfter = insertedAfter || e.at > at;
        }
        if (insertedAfter) edits_.push_back(Edit{at, 1, ""});
    }

    // The line end of the line that holds offset `at` (or the file's own).
    std::string_view EolOfLine(size_t at) const {
        size_t nl = text_.find('\n', at);
        if (nl == std::string_view::npos) return eol_;
        return nl > 0 && text_[nl - 1] == '\r' ? std::string_view("\r\n") : std::string_view("\n");
    }

    void EditSections(const Key& key) {
        const Section* last = key.FirstSection();
        while (last->next) last = last->next;
        std::vector<const Value*> added;
        for (const Value& v : key.Values()) {
            if (!v.changed) continue;
            if (v.fileText.empty()) {
                added.push_back(&v);
            } else {
                RewriteEntry(v);
            }
        }
        if (!added.empty()) InsertIntoSection(*last, added);
    }

    // The data of the line that set the value last, as it now is.
    void RewriteEntry(const Value& v) {
        std::string_view entry = v.fileText;
        size_t start = DataStart(entry);
        std::string_view eol = EolOfLine(Offset(entry));
        std::string data = DataText(v, regedit4_, start, eol);
        data += TrailingComment(entry, start);
        edits_.push_back(Edit{Offset(entry) + start, entry.size() - start, std::move(data)});
    }

    // New values after the section's last entry, before its trailing comments.
    void InsertIntoSection(const Section& section, const std::vector<const Value*>& values) {
        size_t at = Offset(section.body);
        VisitSectionBody(section.body, [&](const BodyEntry& e) {
            if (e.kind == BodyEntry::Kind::Comment) return;
            size_t end = Offset(e.text) + e.text.size();
            at = end + LineEndAt(text_, end).size();
        });
        bool lineEnded = at > 0 && text_[at - 1] == '\n';
        std::string_view eol = lineEnded ? EolOfLine(at - 1) : eol_;
        std::vector<std::string> lines;
        for (const Value* v : values) lines.push_back(ValueLine(*v, regedit4_, eol));
        edits_.push_back(Edit{at, 0, Lines(lines, lineEnded, eol)});
    }

    void AppendKey(const Key& key) {
        tail_.push_back("[" + DisplayPath(key) + "]");
        for (const Value& v : key.Values())
            if (v.changed || key.CreatedByRun()) tail_.push_back(ValueLine(v, regedit4_, eol_));
        tail_.push_back("");
    }

    // The added lines go at the end, before a last line that ends the file
    // for DOS (0x1A), and never into the file's first line.
    Edit TailEdit(size_t headEnd) const {
        size_t at = text_.size();
        size_t last = text_.find_last_not_of("\r\n \t");
        if (last != std::string_view::npos && text_[last] == '\x1A' && last > 0 && text_[last - 1] == '\n')
            at = last;
        at = std::max(at, headEnd);
        bool lineEnded = at > 0 && text_[at - 1] == '\n';
        std::string_view eol = lineEnded ? EolOfLine(at - 1) : eol_;
        return Edit{at, 0, Lines(tail_, lineEnded, eol)};
    }

    const Tree& tree_;
    bool regedit4_;
    std::string_view text_;
    std::string_view eol_;
    std::vector<Edit> edits_;
    std::vector<std::string> tail_;
};

}  // namespace

std::string EscapeRegString(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        switch (c) {
            case u'\\': out += "\\\\"; break;
            case u'"': out += "\\\""; break;
            case u'\n': out += "\\n"; break;
            case u'\r': out += "\\r"; break;
            case 0: out += "\\0"; break;
            default: out += Utf16ToUtf8(std::u16string_view(&c, 1)); break;
        }
    }
    return out;
}

std::string WriteRegFile(const Tree& tree, const FileFormat& format) {
    // The text the file was read from, without its byte-order mark; a
    // registry that came from no file gets the header regedit writes.
    std::string_view text = tree.text;
    if (format.encoding == FileEncoding::Utf8Bom) text.remove_prefix(std::min<size_t>(3, text.size()));
    if (text.empty()) text = kDefaultHead;
    EditPlan plan(tree, format, text);
    plan.NoteDeletions();
    for (const Key* root : {tree.machine, tree.users, tree.currentUser, tree.currentConfig}) plan.Visit(*root);
    size_t firstLineEnd = text.find('\n');
    std::vector<Edit> edits = plan.Finish(firstLineEnd == std::string_view::npos ? text.size() : firstLineEnd + 1);

    size_t units = text.size() + text.size() / 16 + 4096;
    Output out(format, format.encoding == FileEncoding::Utf16Le ? 2 * units : units);
    size_t cursor = 0;
    for (const Edit& edit : edits) {
        out.Append(text.substr(cursor, edit.at - cursor));
        out.Append(edit.text);
        cursor = edit.at + edit.length;
    }
    out.Append(text.substr(cursor));
    return out.Finish();
}

}  // namespace standin
