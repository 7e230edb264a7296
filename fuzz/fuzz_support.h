// Shared by the fuzz targets: console output thrown away, and a clean stand-in.
#pragma once

#include <iostream>
#include <streambuf>

#include "platform/standin/controls/controls.h"

namespace fuzz {

class NullBuffer : public std::wstreambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

// Discards the tool's console output for the life of the process.
inline void SilenceConsole() {
    static NullBuffer sink;
    std::wcout.rdbuf(&sink);
}

// Aborts (a finding) when the stand-in was left with something open.
inline void ExpectNothingOpen() {
    if (standin::OpenHandleCount() != 0 || standin::OutstandingAllocations() != 0) __builtin_trap();
}

}  // namespace fuzz
