#include "platform/standin/win32/call_hooks.h"

#include "platform/standin/text/text_codec.h"

namespace standin {

CallHooks& TheCallHooks() {
    static CallHooks hooks;
    return hooks;
}

LONG RunCallHooks(const char* function, bool registry, std::u16string_view detail) {
    CallHooks& hooks = TheCallHooks();
    if (!hooks.logCalls && hooks.faults.empty()) return 0;  // nobody is counting
    ++hooks.calls[function];
    if (registry) {
        ++hooks.calls["*"];
        if (hooks.logCalls)
            hooks.callLog.emplace_back(detail.empty() ? std::string(function)
                                                      : std::string(function) + " " + Utf16ToUtf8(detail));
    }
    auto fired = hooks.faults.end();
    for (auto it = hooks.faults.begin(); it != hooks.faults.end(); ++it) {
        bool matches = it->function == function || (registry && it->function == "*");
        if (matches && --it->remaining <= 0 && fired == hooks.faults.end()) fired = it;
    }
    if (fired != hooks.faults.end()) {
        LONG code = fired->code;
        auto action = std::move(fired->action);
        hooks.faults.erase(fired);
        if (action) action();
        return code;
    }
    return 0;
}

}  // namespace standin
