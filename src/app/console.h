// Whole lines on the standard wide output stream, each ended by a newline and
// a flush. Narrow pieces are widened byte by byte; wide pieces go unchanged.
#pragma once

#include <string>
#include <string_view>

// Writes one piece of a line. A character the output cannot carry is written
// as '?', and the stream stays usable for everything after it.
void WritePiece(std::string_view narrow);
void WritePiece(std::wstring_view wide);
void EndLine();

template <typename... Pieces>
void WriteLine(const Pieces&... pieces) {
    (WritePiece(pieces), ...);
    EndLine();
}
