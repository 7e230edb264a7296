// The .reg text format: parsing a file into the registry tree (which keeps
// the text and refers into it) and writing it back: the text as it was, with
// the edits the run's changes need.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/standin/reg/file_format.h"
#include "platform/standin/reg/key_tree.h"

namespace standin {

// Parses file bytes (UTF-16LE with BOM, UTF-8 with or without BOM) into a
// new tree, which keeps the text and refers into it, and the file's form;
// the error is "<name>:<line>: <reason>".
bool ParseRegFile(std::string bytes, const std::string& name, Tree& tree, FileFormat& format, std::string* error);

// One entry of a section's body, as the loader read it.
struct BodyEntry {
    enum class Kind { Comment, Value, Removal };
    Kind kind;
    // The line; for a value, its lines from the first to the last it continues
    // over, with their line ends as in the file.
    std::string_view text;
};
// Calls visit for each entry of a section's body that the loader accepted.
void VisitSectionBody(std::string_view body, const std::function<void(const BodyEntry&)>& visit);
// The name ("" for '@') and type of a value entry the loader accepted.
void ParseValueEntry(std::string_view text, bool regedit4, std::u16string* name, DWORD* type);
// The data of a value entry the loader accepted, in the file's dialect.
void DecodeValueText(std::string_view text, bool regedit4, std::vector<uint8_t>* data);
// The whole registry as file bytes: the loaded file's bytes with the run's
// changes, in its encoding and line ends.
std::string WriteRegFile(const Tree& tree, const FileFormat& format);

// Helpers shared by the reader and the writer.
// The types whose hex data REGEDIT4 files hold as narrow text.
inline bool IsNarrowInRegedit4(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
std::string EscapeRegString(std::u16string_view text);

}  // namespace standin
