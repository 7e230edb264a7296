// What configuring one provider would write, worked out before anything is
// written: the same reads and decisions as ConfigureProvider, in its order.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// One value to be written: below HKEY_CLASSES_ROOT, a REG_SZ.
struct PlannedWrite {
    std::wstring key;   // "CLSID\{...}" or "AppID\{...}"
    std::wstring name;  // "" for the default value
    std::wstring text;
};

// The values a sweep that writes nothing (/L) would have written so far, so
// that the next provider is planned over the registry as the run would have
// left it. Owns only texts; failures cannot arise.
class PendingWrites {
public:
    // The text a write planned before would have left, or null.
    const std::wstring* Find(const std::wstring& key, const std::wstring& name) const;
    void Note(const PlannedWrite& write);

private:
    static std::wstring Slot(const std::wstring& key, const std::wstring& name);
    std::map<std::wstring, std::wstring> values_;
};

struct ConfigurationPlan {
    bool provider = false;  // the class has its marker key
    std::wstring progId;
    std::wstring appId;
    // Each value once, with its final text, where it is first written.
    std::vector<PlannedWrite> writes;
};

// Plans the configuration of the class with that host; 0, or the status that
// would end ConfigureProvider before its writes (the marker cannot be
// examined, the AppID is no key name).
LONG PlanConfiguration(const std::wstring& clsid, const std::wstring& host, const PendingWrites& pending,
                       ConfigurationPlan* plan);
// Whether a planned write would change the value, as the registry holds it
// after the pending writes.
bool WouldChange(const PlannedWrite& write, const PendingWrites& pending);
