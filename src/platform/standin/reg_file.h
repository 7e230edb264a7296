// The .reg text format: parsing a file into the registry tree (remembering
// its sections so that it can be written back unchanged) and writing it out.
#pragma once

#include <string>
#include <string_view>

#include "platform/standin/registry_state.h"

namespace standin {

// Parses file bytes (UTF-16LE with BOM, UTF-8 with or without BOM) into the
// state's tree, which keeps the text and refers into it; the error is
// "<name>:<line>: <reason>".
bool ParseRegFile(std::string bytes, const std::string& name, State& state, std::string* error);
// The data of a value line (or of lines joined with '\n') that the loader
// has already accepted, in the loaded file's format.
void DecodeValueText(std::string_view text, std::vector<uint8_t>* data);
// The name of the value a line the loader accepted sets ("" for '@').
std::u16string ValueNameOfLine(std::string_view line);
// The whole registry as file bytes, in the loaded file's encoding and layout.
std::string WriteRegFile(const State& state);

// Helpers shared by the reader and the writer.
// The types whose hex data REGEDIT4 files hold as narrow text.
inline bool IsNarrowInRegedit4(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
std::string EscapeRegString(std::u16string_view text);
std::string CanonicalValueText(const Value& value, bool regedit4);

}  // namespace standin
