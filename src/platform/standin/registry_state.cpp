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
    state.machine = state.tree->NewRoot(u"HKEY_LOCAL_MACHINE");
    state.users = state.tree->NewRoot(u"HKEY_USERS");
    state.currentUser = state.tree->NewRoot(u"HKEY_CURRENT_USER");
    state.currentConfig = state.tree->NewRoot(u"HKEY_CURRENT_CONFIG");
    state.classes = nullptr;
    ClassesKey(state);  // always there on Windows
    state.tree->MarkLoaded();
    state.changed = false;
}

Key* ClassesKey(State& state) {
    if (state.classes && !state.classes->Deleted()) return state.classes;
    // Always present on Windows: never written out as keys of their own.
    Key* software = state.machine->AddChild(u"SOFTWARE");
    software->permanent = true;
    state.classes = software->AddChild(u"Classes");
    state.classes->permanent = true;
    return state.classes;
}

Key* PredefinedKey(State& state, HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return ClassesKey(state);
    if (root == HKEY_LOCAL_MACHINE) return state.machine;
    if (root == HKEY_CURRENT_USER) return state.currentUser;
    if (root == HKEY_USERS) return state.users;
    if (root == HKEY_CURRENT_CONFIG) return state.currentConfig;
    return nullptr;
}

std::shared_ptr<Node> StoreRoot(State& state, HKEY root) {
    if (state.hive) return state.hive->Root(root);
    Key* key = PredefinedKey(state, root);
    return key ? state.tree->Share(key) : nullptr;
}

namespace {

struct RootName {
    std::u16string_view full;
    std::u16string_view shortName;
    HKEY handle;
};

const RootName kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
    {u"HKEY_USERS", u"HKU", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG},
};

}  // namespace

Key* RootOfPath(State& state, std::u16string_view path, size_t* used) {
    size_t end = path.find(u'\\');
    std::u16string_view first = path.substr(0, end);
    for (const auto& root : kRoots) {
        if (EqualsFolded(first, root.full) || EqualsFolded(first, root.shortName)) {
            *used = end == std::u16string_view::npos ? path.size() : end + 1;
            return PredefinedKey(state, root.handle);
        }
    }
    return nullptr;
}

Key* KeyAtPath(State& state, std::u16string_view path, bool create) {
    size_t used = 0;
    Key* key = RootOfPath(state, path, &used);
    std::u16string_view rest = path.substr(std::min(used, path.size()));
    while (key && !rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (part.empty()) continue;
        key = create ? key->AddChild(part) : key->Child(part);
    }
    return key;
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
