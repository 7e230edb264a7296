// What tests may watch or change of the Win32 calls: each is counted and
// logged once a test asks, and an armed fault makes it fail. The native tool
// arms none; nothing is kept until a test resets the counts.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/standin/win32_api.h"

namespace standin {

struct Fault {
    std::string function;
    long remaining = 0;
    LONG code = 0;
    std::function<void()> action;
};

struct CallHooks {
    std::vector<Fault> faults;
    std::unordered_map<std::string, long> calls;
    bool logCalls = false;             // set once a test resets the counts
    std::vector<std::string> callLog;  // every registry call's function (and subkey), in order
};

CallHooks& TheCallHooks();
// Runs the hooks of a call: counts and logs it, and applies an armed fault;
// non-zero means fail with that code.
LONG RunCallHooks(const char* function, bool registry = true, std::u16string_view detail = {});

}  // namespace standin
