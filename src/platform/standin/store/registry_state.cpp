#include "platform/standin/store/registry_state.h"

#include <algorithm>

#include "platform/standin/hive/hive_store.h"
#include "platform/standin/text/text_codec.h"

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

}  // namespace standin
