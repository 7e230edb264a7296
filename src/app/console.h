// Whole lines on standard output, each ended by a newline and sent on at once.
// A console is given each line whole, every character as it is; a file or a
// pipe gets the standard wide stream's bytes. Narrow pieces are widened byte by
// byte, wide pieces go unchanged.
#pragma once

#include <string>
#include <string_view>

// Writes one piece of a line. A character a file or a pipe cannot carry is
// written as '?', and the stream stays usable for everything after it.
void WritePiece(std::string_view narrow);
void WritePiece(std::wstring_view wide);
void EndLine();

template <typename... Pieces>
void WriteLine(const Pieces&... pieces) {
    (WritePiece(pieces), ...);
    EndLine();
}
