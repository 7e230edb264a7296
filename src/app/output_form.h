// The form of the run's output: the console text, or JSON Lines for programs
// (/J), one object a line in ASCII alone, so that any code page and any pipe
// carry every character.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// Chosen once, before the first line: whether the output is JSON Lines.
void UseJsonLines(bool json);
bool JsonLines();

// A JSON string of UTF-16 text: quotes, backslashes, control characters and
// every code unit above U+007E escaped, so that the line is ASCII.
std::string JsonString(std::wstring_view text);
std::string JsonString(std::string_view narrow);

// An error: "ERROR: <text>[ [<thing>]][ (error N)]" on the console, or
// {"error": "<text>[ [<thing>]]", "status": N} as JSON.
void ReportError(std::string_view text, std::optional<std::wstring> thing = std::nullopt,
                 std::optional<LONG> status = std::nullopt);
