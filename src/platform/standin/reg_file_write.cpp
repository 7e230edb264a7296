#include <cstdio>
#include <map>
#include <set>

#include "platform/standin/reg_file.h"
#include "platform/standin/text_codec.h"

namespace standin {

namespace {

constexpr size_t kHexWrap = 77;  // where regedit breaks a line of hex bytes

// Receives the file line by line and builds its bytes once, in the file's
// encoding and line ends.
class Output {
public:
    // sizeHint: the bytes expected, reserved at once.
    Output(const FileFormat& format, size_t sizeHint) : format_(format) {
        bytes_.reserve(sizeHint);
        if (format.encoding == FileEncoding::Utf8Bom) bytes_ = "\xEF\xBB\xBF";
        if (format.encoding == FileEncoding::Utf16Le) bytes_ = "\xFF\xFE";
    }
    // One line, or several separated by line ends of either kind.
    void Line(std::string_view text) {
        if (pendingEnd_) Append(format_.crlf ? "\r\n" : "\n");
        size_t start = 0;
        for (size_t nl; (nl = text.find('\n', start)) != std::string_view::npos; start = nl + 1) {
            std::string_view piece = text.substr(start, nl - start);
            if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
            Append(piece);
            Append(format_.crlf ? "\r\n" : "\n");
        }
        Append(text.substr(start));
        pendingEnd_ = true;
    }
    std::string Finish() {
        if (pendingEnd_ && format_.finalLineEnd) Append(format_.crlf ? "\r\n" : "\n");
        return std::move(bytes_);
    }

private:
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

    const FileFormat& format_;
    std::string bytes_;
    bool pendingEnd_ = false;
};

// A REG_SZ that reads back exactly from the "text" form.
bool HasStringForm(const Value& v) {
    if (v.type != REG_SZ || v.Data().size() < 2 || v.Data().size() % 2) return false;
    std::u16string units = Utf16LeUnits(v.Data());
    if (units.back() != 0) return false;
    units.pop_back();
    return units.find(char16_t(0)) == std::u16string::npos;
}

std::string NamePart(const Value& v) {
    if (v.name.empty()) return "@";
    return "\"" + EscapeRegString(v.name) + "\"";
}

std::string HexPart(const std::string& prefix, const std::vector<uint8_t>& bytes) {
    std::string out = prefix;
    size_t lineLength = prefix.size();
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        out += digits;
        if (i + 1 == bytes.size()) break;
        out += ',';
        lineLength += 3;
        if (lineLength >= kHexWrap) {
            out += "\\\n  ";
            lineLength = 2;
        }
    }
    return out;
}

std::string DisplayPath(const State& state, const Key& key) {
    std::u16string path = key.Path();
    std::u16string classes = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
    if (path.size() >= classes.size() && EqualsFolded(path.substr(0, classes.size()), classes) &&
        (path.size() == classes.size() || path[classes.size()] == u'\\'))
        path = u"HKEY_CLASSES_ROOT" + path.substr(classes.size());
    (void)state;
    return Utf16ToUtf8(path);
}

// Keys the file does not hold yet: each one that its children do not imply.
void NewKeys(const State& state, const Key& key, Output& out) {
    if (!key.inFile && key.Parent()) {
        bool implied = (key.implicit || key.permanent) && key.Values().empty() &&
                       (key.ChildCount() > 0 || key.permanent);
        if (!implied) {
            out.Line("[" + DisplayPath(state, key) + "]");
            for (const Value& v : key.Values()) out.Line(CanonicalValueText(v, state.format.regedit4));
            out.Line("");
        }
    }
    for (const Key* child : key.OrderedChildren()) NewKeys(state, *child, out);
}

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

std::string CanonicalValueText(const Value& v, bool regedit4) {
    std::string name = NamePart(v) + "=";
    if (HasStringForm(v)) {
        std::u16string units = Utf16LeUnits(v.Data());
        units.pop_back();
        return name + "\"" + EscapeRegString(units) + "\"";
    }
    const std::vector<uint8_t>& data = v.Data();
    if (v.type == REG_DWORD && data.size() == 4) {
        char text[20];
        uint32_t d = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
        std::snprintf(text, sizeof text, "dword:%08x", d);
        return name + text;
    }
    std::vector<uint8_t> bytes = data;
    if (regedit4 && IsNarrowInRegedit4(v.type)) {
        bytes.clear();
        for (char16_t u : Utf16LeUnits(data)) bytes.push_back(u > 0xFF ? '?' : static_cast<uint8_t>(u));
    }
    char prefix[16] = "hex:";
    if (v.type != REG_BINARY) std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
    return HexPart(name + prefix, bytes);
}

namespace {

// A section as the general rule writes it: comments as read; each value at
// the last line that set it in the section, as it now is; values set since
// the load and not named in the section, before its trailing comments.
void WriteSection(const Section& section, bool regedit4, Output& out) {
    const Key& key = *section.key;
    std::vector<BodyEntry> entries;
    VisitSectionBody(section.body, [&](const BodyEntry& e) {
        if (e.kind != BodyEntry::Kind::Removal) entries.push_back(e);
    });
    std::vector<std::u16string> names(entries.size());
    std::set<std::u16string, NameLess> listed;
    // A value named twice in a section is written once, where it was last set.
    std::map<std::u16string, size_t, NameLess> lastEntry;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].kind != BodyEntry::Kind::Value) continue;
        DWORD type = REG_NONE;
        ParseValueEntry(entries[i].text, &names[i], &type);
        listed.insert(names[i]);
        lastEntry[names[i]] = i;
    }
    size_t tail = entries.size();
    while (tail > 0 && entries[tail - 1].kind != BodyEntry::Kind::Value) --tail;
    for (size_t i = 0; i <= entries.size(); ++i) {
        if (i == tail) {
            for (const Value& v : key.Values())
                if (v.changed && !listed.count(v.name)) out.Line(CanonicalValueText(v, regedit4));
        }
        if (i == entries.size()) break;
        const BodyEntry& e = entries[i];
        if (e.kind != BodyEntry::Kind::Value) {
            out.Line(e.text);
            continue;
        }
        const Value* v = key.FindValue(names[i]);
        if (!v || lastEntry[names[i]] != i) continue;
        out.Line(v->changed ? CanonicalValueText(*v, regedit4) : std::string(v->fileText));
    }
}

}  // namespace

std::string WriteRegFile(const State& state) {
    // About the loaded file's size, written again with a few changes.
    size_t units = state.tree->text.size() + state.tree->text.size() / 16 + 4096;
    Output out(state.format, state.format.encoding == FileEncoding::Utf16Le ? 2 * units : units);
    for (size_t i = 0; i < state.format.leadingBlankLines; ++i) out.Line("");
    out.Line(state.format.headerLine);
    for (const auto& line : state.format.preamble) out.Line(line);
    for (const Section& section : state.tree->sections) {
        const Key& key = *section.key;
        if (key.Deleted()) continue;
        out.Line(section.header);
        bool asRead = section.plain && !key.ValuesEdited() && key.FirstSection() == &section && !section.next;
        if (!asRead) {
            WriteSection(section, state.format.regedit4, out);
            continue;
        }
        // The lines as the loader read them: without the last line's end.
        std::string_view body = section.body;
        if (body.empty()) continue;
        if (body.back() == '\n') {
            body.remove_suffix(1);
            if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
        }
        out.Line(body);
    }
    for (const Key* root : {state.machine, state.users, state.currentUser, state.currentConfig})
        NewKeys(state, *root, out);
    return out.Finish();
}

}  // namespace standin
