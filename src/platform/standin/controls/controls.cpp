// The stand-in's controls for tests: building registry content directly,
// denying access, choosing the current directory and the console, injecting
// faults and counting what is still open.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/handle_table.h"
#include "platform/standin/win32/process_state.h"
#include "platform/standin/store/registry_state.h"
#include "platform/standin/controls/controls.h"
#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

Key* At(std::wstring_view path, bool create = false) {
    return TheState().tree->KeyAtPath(WideToUtf16(path), create);
}

std::wstring Folded(std::u16string_view text) {
    std::wstring out;
    for (char16_t c : text) out.push_back(static_cast<wchar_t>(FoldCase(c)));
    return out;
}

void SnapshotKey(const Key& key, const std::wstring& path, Snapshot* out) {
    auto& values = (*out)[path];
    for (const Value& v : key.Values()) values[Folded(v.name)] = RawValue{v.type, v.Data()};
    for (const Key* child : key.OrderedChildren())
        SnapshotKey(*child, path + L"\\" + Folded(child->Name().ToUtf16()), out);
}

}  // namespace

void ResetRegistry() {
    State& state = TheState();
    ReleaseRegistryFile();
    ResetTree(state);
    TheHandles().open.clear();
    TheProcess().comBlocks = 0;
    TheProcess().sids = 0;
    TheProcess().administrator.reset();
    TheProcess().notAdministratorWhy.clear();
    TheProcess().currentDirectory.reset();
    TheProcess().currentDirectoryUnreadable = false;
    TheProcess().console = false;
    TheProcess().systemDrive.clear();
    TheProcess().noSystemDriveWhy.clear();
    TheProcess().consoleText.clear();
    TheCallHooks().faults.clear();
    TheCallHooks().calls.clear();
    TheCallHooks().callLog.clear();
    TheCallHooks().logCalls = false;
    state.format = FileFormat{};
    state.filePath.clear();
}

bool PutKey(std::wstring_view path) {
    return At(path, true) != nullptr;
}

bool PutValue(std::wstring_view path, std::wstring_view name, DWORD type,
              std::vector<uint8_t> bytes) {
    auto key = At(path, true);
    if (!key) return false;
    key->SetValue(WideToUtf16(name), type, std::move(bytes));
    return true;
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
    auto key = At(path);
    if (!key || !key->Parent()) return false;
    return key->Parent()->RemoveChild(key);
}

bool KeyExists(std::wstring_view path) {
    return At(path) != nullptr;
}

std::optional<RawValue> GetValue(std::wstring_view path, std::wstring_view name) {
    auto key = At(path);
    if (!key) return std::nullopt;
    const Value* v = key->FindValue(WideToUtf16(name));
    if (!v) return std::nullopt;
    return RawValue{v->type, v->Data()};
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
        for (const Key* child : key->OrderedChildren()) names.push_back(Utf16ToWide(child->Name().ToUtf16()));
    return names;
}

bool DenyAccess(std::wstring_view path, bool read, bool write) {
    auto key = At(path);
    if (!key) return false;
    key->denyRead = read;
    key->denyWrite = write;
    return true;
}

Snapshot TakeSnapshot() {
    State& state = TheState();
    Snapshot out;
    for (const Key* root : {state.tree->machine, state.tree->users, state.tree->currentUser, state.tree->currentConfig})
        SnapshotKey(*root, Folded(root->Name().ToUtf16()), &out);
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
