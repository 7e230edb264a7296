#include "platform/standin/registry_state.h"

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
    state.machine = std::make_shared<Key>(u"HKEY_LOCAL_MACHINE");
    state.users = std::make_shared<Key>(u"HKEY_USERS");
    state.currentUser = std::make_shared<Key>(u"HKEY_CURRENT_USER");
    state.currentConfig = std::make_shared<Key>(u"HKEY_CURRENT_CONFIG");
    state.classes.reset();
    state.sections.clear();
    ClassesKey(state);  // always there on Windows
    state.changed = false;
}

std::shared_ptr<Key> ClassesKey(State& state) {
    if (state.classes && !state.classes->Deleted()) return state.classes;
    // Always present on Windows: never written out as keys of their own.
    bool created = false;
    Key* software = state.machine->AddChild(u"SOFTWARE", &created);
    software->permanent = true;
    Key* classes = software->AddChild(u"Classes", &created);
    classes->permanent = true;
    state.classes = software->ChildPointer(u"Classes");
    return state.classes;
}

std::shared_ptr<Key> PredefinedKey(State& state, HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return ClassesKey(state);
    if (root == HKEY_LOCAL_MACHINE) return state.machine;
    if (root == HKEY_CURRENT_USER) return state.currentUser;
    if (root == HKEY_USERS) return state.users;
    if (root == HKEY_CURRENT_CONFIG) return state.currentConfig;
    return nullptr;
}

std::shared_ptr<Node> StoreRoot(State& state, HKEY root) {
    if (state.hive) return state.hive->Root(root);
    return PredefinedKey(state, root);
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

std::shared_ptr<Key> RootOfPath(State& state, std::u16string_view path, size_t* used) {
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

std::shared_ptr<Key> DescendPath(std::shared_ptr<Key> key, std::u16string_view rest, bool create,
                                 bool markImplicit, std::vector<std::shared_ptr<Key>>* chain) {
    while (key && !rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, end);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (part.empty()) continue;
        std::shared_ptr<Key> child;
        if (create) {
            bool created = false;
            child = key->AddChildPointer(part, &created);
            if (created) child->implicit = markImplicit;
        } else {
            child = key->ChildPointer(part);
            if (!child) return nullptr;
        }
        key = std::move(child);
        if (chain) chain->push_back(key);
    }
    return key;
}

std::shared_ptr<Key> KeyAtPath(State& state, std::u16string_view path, bool create,
                               bool markImplicit) {
    size_t used = 0;
    std::shared_ptr<Key> root = RootOfPath(state, path, &used);
    return DescendPath(root, path.substr(used), create, markImplicit);
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
