// The stand-in's controls for tests: building registry content through the
// store seam (so that each works on a hive as on a .reg tree), denying
// access, choosing the current directory and the console, injecting faults
// and counting what is still open.
#include <sys/stat.h>

#include <cstdlib>

#include "platform/standin/controls/controls.h"
#include "platform/standin/reg/reg_store.h"
#include "platform/standin/store/root_names.h"
#include "platform/standin/store/store.h"
#include "platform/standin/text/text_codec.h"
#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/handle_table.h"
#include "platform/standin/win32/key_security.h"
#include "platform/standin/win32/process_state.h"

namespace standin {

namespace {

// The parts of a full path: its root's handle (null for no root) and the names below it.
HKEY SplitPath(std::u16string_view path, std::vector<std::u16string_view>* parts) {
    size_t used = 0;
    HKEY root = RootOfPath(path, &used);
    std::u16string_view rest = path.substr(used);
    while (!rest.empty()) {
        size_t next = rest.find(u'\\');
        if (next != 0) parts->push_back(rest.substr(0, next));
        rest = next == std::u16string_view::npos ? std::u16string_view() : rest.substr(next + 1);
    }
    return root;
}

// The key of a full path, made on request; null when it is not there.
std::shared_ptr<Node> At(std::wstring_view path, bool create = false) {
    std::u16string units = WideToUtf16(path);
    std::vector<std::u16string_view> parts;
    HKEY root = SplitPath(units, &parts);
    std::shared_ptr<Node> key = root ? StoreRoot(root) : nullptr;
    for (auto part = parts.begin(); key && part != parts.end(); ++part) {
        std::shared_ptr<Node> child;
        bool created = false;
        LONG status = create ? key->MakeChild(*part, &child, &created) : key->FindChild(*part, &child);
        key = status == ERROR_SUCCESS ? child : nullptr;
    }
    return key;
}

std::wstring Folded(std::u16string_view text) {
    std::wstring out;
    for (char16_t c : text) out.push_back(static_cast<wchar_t>(FoldCase(c)));
    return out;
}

std::vector<std::u16string> ChildNames(Node& key) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (size_t i = 0; key.SubkeyName(i, &name) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
}

void SnapshotKey(Node& key, const std::wstring& path, Snapshot* out) {
    auto& values = (*out)[path];
    std::vector<std::u16string> names;
    key.ValueNames(&names);
    for (const std::u16string& name : names) {
        RawValue raw;
        if (key.ReadValue(name, &raw.type, &raw.bytes) == ERROR_SUCCESS) values[Folded(name)] = std::move(raw);
    }
    for (const std::u16string& name : ChildNames(key)) {
        std::shared_ptr<Node> child;
        if (key.FindChild(name, &child) == ERROR_SUCCESS) SnapshotKey(*child, path + L"\\" + Folded(name), out);
    }
}

}  // namespace

void ResetRegistry() {
    ReleaseRegistryFile();
    UseStore(std::make_unique<RegStore>());
    TheHandles().open.clear();
    TheKeySecurity().denied.clear();
    TheProcess() = ProcessState{};
    TheCallHooks() = CallHooks{};
}

Tree* LoadedTree() {
    auto* store = dynamic_cast<RegStore*>(CurrentStore());
    return store ? &store->Keys() : nullptr;
}

bool PutKey(std::wstring_view path) {
    return At(path, true) != nullptr;
}

bool PutValue(std::wstring_view path, std::wstring_view name, DWORD type,
              std::vector<uint8_t> bytes) {
    auto key = At(path, true);
    bool changed = false;
    return key && key->WriteValue(WideToUtf16(name), type, std::move(bytes), &changed) == ERROR_SUCCESS;
}

std::vector<uint8_t> Utf16Bytes(std::wstring_view text, bool withNul) {
    std::u16string units = WideToUtf16(text);
    if (withNul) units.push_back(0);
    return Utf16LeBytes(units);
}

bool PutString(std::wstring_view path, std::wstring_view name, std::wstring_view text) {
    return PutValue(path, name, REG_SZ, Utf16Bytes(text));
}

bool DeleteKey(std::wstring_view path) {
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring_view::npos) return false;  // a root
    auto parent = At(path.substr(0, slash));
    return parent && parent->DeleteChild(WideToUtf16(path.substr(slash + 1))) == ERROR_SUCCESS;
}

bool KeyExists(std::wstring_view path) {
    return At(path) != nullptr;
}

std::optional<RawValue> GetValue(std::wstring_view path, std::wstring_view name) {
    auto key = At(path);
    RawValue raw;
    if (!key || key->ReadValue(WideToUtf16(name), &raw.type, &raw.bytes) != ERROR_SUCCESS) return std::nullopt;
    return raw;
}

std::optional<std::wstring> GetString(std::wstring_view path, std::wstring_view name) {
    auto raw = GetValue(path, name);
    if (!raw || raw->type != REG_SZ) return std::nullopt;
    std::u16string units = Utf16LeUnits(raw->bytes);
    if (!units.empty() && units.back() == 0) units.pop_back();
    return Utf16ToWide(units);
}

std::vector<std::wstring> SubkeyNames(std::wstring_view path) {
    std::vector<std::wstring> names;
    if (auto key = At(path))
        for (const std::u16string& name : ChildNames(*key)) names.push_back(Utf16ToWide(name));
    return names;
}

bool DenyAccess(std::wstring_view path, bool read, bool write) {
    auto key = At(path);
    if (!key) return false;
    TheKeySecurity().denied[key->Identity()] = DeniedAccess{read, write};
    return true;
}

Snapshot TakeSnapshot() {
    static const std::pair<HKEY, const wchar_t*> kTops[] = {{HKEY_LOCAL_MACHINE, L"hkey_local_machine"},
                                                            {HKEY_USERS, L"hkey_users"},
                                                            {HKEY_CURRENT_USER, L"hkey_current_user"},
                                                            {HKEY_CURRENT_CONFIG, L"hkey_current_config"}};
    Snapshot out;
    for (const auto& [handle, name] : kTops)
        if (std::shared_ptr<Node> root = StoreRoot(handle)) SnapshotKey(*root, name, &out);
    return out;
}

void SetCurrentDirectoryOverride(std::optional<std::wstring> directory, bool unreadable) {
    TheProcess().currentDirectory = std::move(directory);
    TheProcess().currentDirectoryUnreadable = unreadable;
}

void SimulateConsole(bool console) {
    TheProcess().console = console;
    TheProcess().consoleText.clear();
}

std::wstring ConsoleText() {
    return TheProcess().consoleText;
}

void FailCall(std::string function, long nth, LONG code, std::function<void()> action) {
    TheCallHooks().faults.push_back(Fault{std::move(function), nth, code, std::move(action)});
}

void ClearFaults() {
    TheCallHooks().faults.clear();
}

long CallCount(std::string_view function) {
    const auto& calls = TheCallHooks().calls;
    auto it = calls.find(std::string(function));
    return it == calls.end() ? 0 : it->second;
}

void ResetCallCounts() {
    TheCallHooks().calls.clear();
    TheCallHooks().callLog.clear();
    TheCallHooks().logCalls = true;
}

std::vector<std::string> RegistryCallLog() {
    return TheCallHooks().callLog;
}

int OpenHandleCount() {
    return static_cast<int>(TheHandles().open.size());
}

int OutstandingAllocations() {
    return TheProcess().comBlocks + TheProcess().sids;
}

}  // namespace standin
