// The registry handles the Win32 face has handed out: each a key of the
// store and the access it was opened with.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/standin/store/node.h"

namespace standin {

struct OpenKey {
    std::shared_ptr<Node> key;
    REGSAM access = 0;
};

struct HandleTable {
    std::unordered_map<uintptr_t, OpenKey> open;
    uintptr_t next = 0x1000;  // handle values as Windows hands them out: multiples of 4
};

HandleTable& TheHandles();

}  // namespace standin
