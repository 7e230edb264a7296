#include "platform/standin/registry_state.h"

#include <algorithm>

#include "platform/standin/hive_store.h"
#include "platform/standin/text_codec.h"

namespace standin {

State::State() = default;
State::~State() = default;

State& TheState() {
    static State state;
    static const bool ready = (ResetTree(state), true);
    (void)ready;
    return state;
}

void ResetTree(State& state) {
    state.tree = std::make_shared<Tree>();
    state.changed = false;
}

std::shared_ptr<Node> StoreRoot(State& state, HKEY root) {
    if (state.hive) return state.hive->Root(root);
    Key* key = state.tree->Root(root);
    return key ? state.tree->Share(key) : nullptr;
}

LONG CountCall(const char* function, bool registry, std::u16string_view detail) {
    State& state = TheState();
    if (!state.logCalls && state.faults.empty()) return 0;  // nobody is counting
    ++state.calls[function];
    if (registry) {
        ++state.calls["*"];
        if (state.logCalls)
            state.callLog.emplace_back(detail.empty() ? std::string(function)
                                                      : std::string(function) + " " + Utf16ToUtf8(detail));
    }
    auto fired = state.faults.end();
    for (auto it = state.faults.begin(); it != state.faults.end(); ++it) {
        bool matches = it->function == function || (registry && it->function == "*");
        if (matches && --it->remaining <= 0 && fired == state.faults.end()) fired = it;
    }
    if (fired != state.faults.end()) {
        LONG code = fired->code;
        auto action = std::move(fired->action);
        state.faults.erase(fired);
        if (action) action();
        return code;
    }
    return 0;
}

}  // namespace standin
