#include "provider/write_plan.h"


#include "provider/appid_registration.h"
#include "provider/provider_identity.h"
#include "provider/registry_text.h"
#include "provider/stored_value.h"
#include "registry/registry_key.h"

namespace {

void Add(ConfigurationPlan* plan, const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    for (PlannedWrite& write : plan->writes) {
        if (FoldedName(write.key) == FoldedName(key) && FoldedName(write.name) == FoldedName(name)) {
            write.text = text;
            return;
        }
    }
    plan->writes.push_back(PlannedWrite{key, name, text});
}

// Whether the value reads as a string, pending writes first.
bool HasString(const std::wstring& key, const std::wstring& name, const PendingWrites& pending) {
    if (pending.Find(key, name)) return true;
    RegistryKey opened;
    if (opened.Open(HKEY_CLASSES_ROOT, key) != ERROR_SUCCESS) return false;
    std::wstring scratch;
    return opened.GetString(name, scratch) == ERROR_SUCCESS;
}

}  // namespace

std::wstring PendingWrites::Slot(const std::wstring& key, const std::wstring& name) {
    return FoldedName(key) + L'\n' + FoldedName(name);
}

const std::wstring* PendingWrites::Find(const std::wstring& key, const std::wstring& name) const {
    auto it = values_.find(Slot(key, name));
    return it == values_.end() ? nullptr : &it->second;
}

void PendingWrites::Note(const PlannedWrite& write) {
    values_[Slot(write.key, write.name)] = write.text;
}

LONG PlanConfiguration(const std::wstring& clsid, const std::wstring& host, const PendingWrites& pending,
                       ConfigurationPlan* plan) {
    *plan = ConfigurationPlan{};
    LONG marker = ProviderMarkerStatus(clsid);
    if (marker == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    plan->provider = true;
    if (marker != ERROR_SUCCESS) return marker;
    plan->progId = ReadProviderProgId(clsid);
    const std::wstring classKey = L"CLSID\\" + clsid;
    if (const std::wstring* written = pending.Find(classKey, L"AppID")) {
        plan->appId = *written;
    } else {
        RegistryKey opened;
        opened.Open(HKEY_CLASSES_ROOT, classKey);
        plan->appId = ReadClassAppId(opened.Handle());
    }
    if (plan->appId.empty()) {
        Add(plan, classKey, L"AppID", clsid);
        plan->appId = clsid;
    } else if (!IsUsableAppId(plan->appId)) {
        return ERROR_INVALID_DATA;
    }
    const std::wstring appIdKey = L"AppID\\" + plan->appId;
    if (!HasString(appIdKey, L"DllSurrogate", pending) || !HasString(appIdKey, L"AppID", pending)) {
        Add(plan, appIdKey, L"", plan->progId);
        Add(plan, appIdKey, L"AppID", plan->appId);
        Add(plan, appIdKey, L"DllSurrogate", L"");
    }
    Add(plan, appIdKey, L"DllSurrogate", host);
    return ERROR_SUCCESS;
}

bool WouldChange(const PlannedWrite& write, const PendingWrites& pending) {
    if (const std::wstring* text = pending.Find(write.key, write.name)) return *text != write.text;
    return !HoldsText(ReadStoredValue(write.key, write.name), write.text);
}
