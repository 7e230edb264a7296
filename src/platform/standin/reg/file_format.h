// The form of a .reg file beyond its text, which the writer copies: how it
// is encoded, and the line end of the lines the writer adds.
#pragma once

#include <string>

namespace standin {

enum class FileEncoding { Utf16Le, Utf8, Utf8Bom };

// What the writer needs of the loaded file beyond its text, which it copies:
// how to encode it, and the line end of lines it adds.
struct FileFormat {
    FileEncoding encoding = FileEncoding::Utf16Le;
    bool crlf = true;       // lines the writer adds end in CR LF
    bool regedit4 = false;  // hex(1), hex(2) and hex(7) data is narrow text
    std::string oddByte;    // a UTF-16 file's last byte when its size is odd
};

}  // namespace standin
