// The registry functions of advapi32 over the stand-in's tree, with the
// status codes, size rules and view redirection that Wine shows.
#include <algorithm>
#include <cstring>

#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/store/store.h"
#include "platform/standin/win32/handle_table.h"
#include "platform/standin/win32/key_security.h"
#include "platform/standin/text/text_codec.h"

using namespace standin;

namespace {

constexpr size_t kUnit = sizeof(wchar_t);  // bytes of one WCHAR in this build
constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ || type == REG_LINK;
}

bool IsPredefined(HKEY key) {
    auto v = reinterpret_cast<uintptr_t>(key);
    auto low = static_cast<uint32_t>(v);
    return (v >> 32 == 0 || v >> 32 == 0xFFFFFFFFu) && low >= 0x80000000u && low <= 0x80000060u;
}

// A string's stored UTF-16 bytes as the caller's WCHARs see them: each code
// unit widens to one WCHAR; an odd last byte widens to half a WCHAR.
std::vector<uint8_t> StoredToApi(const std::vector<uint8_t>& stored, DWORD type) {
    if (!IsStringType(type) || kUnit == 2) return stored;
    std::vector<uint8_t> api;
    api.reserve(stored.size() / 2 * kUnit + 2);
    size_t i = 0;
    for (; i + 1 < stored.size(); i += 2) {
        api.push_back(stored[i]);
        api.push_back(stored[i + 1]);
        api.insert(api.end(), kUnit - 2, 0);
    }
    if (i < stored.size()) {
        api.push_back(stored[i]);
        api.push_back(0);
    }
    return api;
}

std::vector<uint8_t> ApiToStored(const BYTE* data, DWORD bytes, DWORD type) {
    if (!data || bytes == 0) return {};
    if (!IsStringType(type) || kUnit == 2) return std::vector<uint8_t>(data, data + bytes);
    std::vector<uint8_t> stored;
    stored.reserve(bytes / kUnit * 2 + 1);
    size_t units = bytes / kUnit;
    for (size_t u = 0; u < units; ++u) {
        wchar_t c;
        std::memcpy(&c, data + u * kUnit, kUnit);
        std::u16string code = WideToUtf16(std::wstring_view(&c, 1));
        for (char16_t unit : code) {
            stored.push_back(static_cast<uint8_t>(unit & 0xFF));
            stored.push_back(static_cast<uint8_t>(unit >> 8));
        }
    }
    if (bytes % kUnit) stored.push_back(data[units * kUnit]);
    return stored;
}

// The bytes a value's data takes as the caller's WCHARs see it (StoredToApi).
size_t ApiSize(DWORD type, size_t stored) {
    if (!IsStringType(type) || kUnit == 2) return stored;
    return stored / 2 * kUnit + (stored % 2 ? 2 : 0);
}

struct Resolved {
    std::shared_ptr<Node> key;
    REGSAM access = 0;
};

LONG Lookup(HKEY handle, Resolved* out) {
    if (!handle) return ERROR_INVALID_HANDLE;
    if (IsPredefined(handle)) {
        out->key = StoreRoot(handle);
        out->access = KEY_ALL_ACCESS;
        return out->key ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }
    auto it = TheHandles().open.find(reinterpret_cast<uintptr_t>(handle));
    if (it == TheHandles().open.end()) return ERROR_INVALID_HANDLE;
    if (it->second.key->IsDeleted()) return ERROR_KEY_DELETED;
    out->key = it->second.key;
    out->access = it->second.access;
    return ERROR_SUCCESS;
}

LONG CheckRights(const Node& key, REGSAM desired) {
    DeniedAccess denied = DeniedTo(key);
    if (denied.read && (desired & kReadRights)) return ERROR_ACCESS_DENIED;
    if (denied.write && (desired & kWriteRights)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

HKEY NewHandle(std::shared_ptr<Node> key, REGSAM access) {
    uintptr_t value = TheHandles().next;
    TheHandles().next += 4;
    TheHandles().open.emplace(value, OpenKey{std::move(key), access});
    return reinterpret_cast<HKEY>(value);
}

// Where the 32-bit view's redirected keys (CLSID, DirectShow, Interface, Media
// Type, MediaFoundation; everything else under the classes is shared) lie:
// under Wow6432Node when the registry has one (64-bit Windows); a registry
// without it is one view, as on 32-bit Windows. *parent stays as it is when
// the part is not redirected; a Wow6432Node that cannot be read is an error.
LONG Redirect(std::u16string_view part, REGSAM desired, std::shared_ptr<Node>* parent) {
    if (!(desired & KEY_WOW64_32KEY)) return ERROR_SUCCESS;
    static constexpr std::u16string_view kRedirected[] = {u"CLSID", u"DirectShow", u"Interface", u"Media Type",
                                                         u"MediaFoundation"};
    if (std::none_of(std::begin(kRedirected), std::end(kRedirected),
                     [&](std::u16string_view name) { return EqualsFolded(part, name); }))
        return ERROR_SUCCESS;
    std::shared_ptr<Node> classes = StoreRoot(HKEY_CLASSES_ROOT);
    if (!classes || (*parent)->Identity() != classes->Identity()) return ERROR_SUCCESS;
    std::shared_ptr<Node> wow;
    LONG status = RunCallHooks("Wow6432Node", false);  // a lookup that tests can make fail
    if (status == ERROR_SUCCESS) status = (*parent)->FindChild(u"Wow6432Node", &wow);
    if (status == ERROR_SUCCESS) *parent = wow;
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Walks a relative path; the 32-bit view passes through Wow6432Node at the classes root.
LONG Walk(std::shared_ptr<Node> base, std::u16string_view path, REGSAM desired, bool create,
          std::shared_ptr<Node>* out) {
    std::shared_ptr<Node> key = std::move(base);
    while (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    while (!path.empty()) {
        size_t end = path.find(u'\\');
        std::u16string_view part = path.substr(0, end);
        path = end == std::u16string_view::npos ? std::u16string_view() : path.substr(end + 1);
        if (part.empty()) {
            if (create) continue;
            return ERROR_FILE_NOT_FOUND;
        }
        if (LONG status = Redirect(part, desired, &key)) return status;
        std::shared_ptr<Node> child;
        LONG status = key->FindChild(part, &child);
        if (status == ERROR_FILE_NOT_FOUND && create) {
            if (DeniedTo(*key).write) return ERROR_ACCESS_DENIED;
            bool created = false;
            status = key->MakeChild(part, &child, &created);
            if (created) CurrentStore()->MarkChanged();
        }
        if (status != ERROR_SUCCESS) return status;
        key = child;
    }
    *out = key;
    return ERROR_SUCCESS;
}

LONG OpenOrCreate(const char* function, HKEY parent, LPCWSTR subKey, REGSAM desired, bool create,
                  PHKEY result) {
    std::u16string path;
    path.reserve(64);
    for (const wchar_t* c = subKey; c && *c; ++c) {
        if (static_cast<uint32_t>(*c) > 0xFFFF) {
            path += WideToUtf16(std::wstring_view(c, 1));
        } else {
            path.push_back(static_cast<char16_t>(*c));
        }
    }
    if (LONG fault = RunCallHooks(function, true, path)) return fault;
    if (!result) return ERROR_INVALID_PARAMETER;
    Resolved base;
    if (LONG status = Lookup(parent, &base)) return status;
    if (path.empty() && !create && IsPredefined(parent)) {
        *result = parent;
        return ERROR_SUCCESS;
    }
    std::shared_ptr<Node> key;
    if (LONG status = Walk(base.key, path, desired, create, &key)) return status;
    if (LONG status = CheckRights(*key, desired)) return status;
    *result = NewHandle(std::move(key), desired);
    return ERROR_SUCCESS;
}

DWORD TypeFlag(DWORD type) {
    switch (type) {
        case REG_NONE: return 0x01;
        case REG_SZ: return 0x02;
        case REG_EXPAND_SZ: return 0x04;
        case REG_BINARY: return 0x08;
        case REG_DWORD: return 0x10;
        case REG_MULTI_SZ: return 0x20;
        case REG_QWORD: return 0x40;
        default: return 0;
    }
}

}  // namespace

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return OpenOrCreate("RegOpenKeyExW", key, subKey, desired, false, result);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM desired,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (disposition) *disposition = 0;
    return OpenOrCreate("RegCreateKeyExW", key, subKey, desired, true, result);
}

LONG RegCloseKey(HKEY key) {
    if (LONG fault = RunCallHooks("RegCloseKey")) return fault;
    if (!key) return ERROR_INVALID_HANDLE;
    if (IsPredefined(key)) return ERROR_SUCCESS;
    return TheHandles().open.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                                      : ERROR_INVALID_HANDLE;
}

LONG RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type,
                  PVOID data, LPDWORD dataBytes) {
    if (LONG fault = RunCallHooks("RegGetValueW")) return fault;
    if (data && !dataBytes) return ERROR_INVALID_PARAMETER;
    Resolved handle;
    if (LONG status = Lookup(key, &handle)) return status;
    std::shared_ptr<Node> target = handle.key;
    if (subKey && *subKey) {
        if (LONG status = Walk(target, WideToUtf16(subKey), KEY_QUERY_VALUE, false, &target))
            return status;
        if (LONG status = CheckRights(*target, KEY_QUERY_VALUE)) return status;
    } else if (!(handle.access & KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    DWORD storedType = REG_NONE;
    std::vector<uint8_t> stored;
    if (LONG status = target->ReadValue(
            WideToUtf16(valueName ? std::wstring_view(valueName) : std::wstring_view()), &storedType, &stored))
        return status;
    std::vector<uint8_t> api = StoredToApi(stored, storedType);
    auto size = static_cast<DWORD>(api.size());
    if (type) *type = storedType;
    if (!(flags & TypeFlag(storedType))) {
        if (dataBytes) *dataBytes = size;
        return ERROR_UNSUPPORTED_TYPE;
    }
    if (!data) {
        if (dataBytes) *dataBytes = size;
        return ERROR_SUCCESS;
    }
    if (*dataBytes < size) {
        *dataBytes = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, api.data(), size);
    // Like Wine, an unterminated string gets a NUL after it when there is room,
    // which the reported size does not count.
    if (IsStringType(storedType) && size >= kUnit && size % kUnit == 0 &&
        size + kUnit <= *dataBytes) {
        auto* chars = static_cast<wchar_t*>(data);
        if (chars[size / kUnit - 1] != 0) chars[size / kUnit] = 0;
    }
    *dataBytes = size;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, BYTE* data, LPDWORD dataBytes) {
    if (LONG fault = RunCallHooks("RegQueryValueExW")) return fault;
    if (data && !dataBytes) return ERROR_INVALID_PARAMETER;
    Resolved handle;
    if (LONG status = Lookup(key, &handle)) return status;
    if (!(handle.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    DWORD storedType = REG_NONE;
    std::vector<uint8_t> stored;
    if (LONG status = handle.key->ReadValue(
            WideToUtf16(valueName ? std::wstring_view(valueName) : std::wstring_view()), &storedType, &stored))
        return status;
    std::vector<uint8_t> api = StoredToApi(stored, storedType);
    auto size = static_cast<DWORD>(api.size());
    if (type) *type = storedType;
    if (data && *dataBytes < size) {
        *dataBytes = size;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, api.data(), size);
    if (dataBytes) *dataBytes = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataBytes) {
    if (LONG fault = RunCallHooks("RegSetValueExW")) return fault;
    Resolved handle;
    if (LONG status = Lookup(key, &handle)) return status;
    if (!(handle.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!data && dataBytes) return ERROR_INVALID_PARAMETER;
    // As on NT: a string whose count left out the terminating NUL gets it counted.
    if (IsStringType(type) && data && dataBytes >= kUnit) {
        const auto* chars = reinterpret_cast<const wchar_t*>(data);
        if (chars[dataBytes / kUnit - 1] != 0 && chars[dataBytes / kUnit] == 0)
            dataBytes += kUnit;
    }
    bool changed = false;
    if (LONG status = handle.key->WriteValue(
            WideToUtf16(valueName ? std::wstring_view(valueName) : std::wstring_view()), type,
            ApiToStored(data, dataBytes, type), &changed))
        return status;
    if (changed) CurrentStore()->MarkChanged();
    return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD, LPDWORD subKeys,
                      LPDWORD maxSubKeyChars, LPDWORD maxClassChars, LPDWORD values,
                      LPDWORD maxValueNameChars, LPDWORD maxValueBytes,
                      LPDWORD securityDescriptorBytes, PFILETIME lastWriteTime) {
    if (LONG fault = RunCallHooks("RegQueryInfoKeyW")) return fault;
    Resolved handle;
    if (LONG status = Lookup(key, &handle)) return status;
    if (!(handle.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Node& k = *handle.key;
    size_t count = 0, longest = 0;
    if (subKeys || maxSubKeyChars) {
        if (LONG status = k.SubkeyCount(&count)) return status;
        if (LONG status = k.LongestSubkeyName(&longest)) return status;
    }
    std::vector<Node::ValueShape> shapes;
    if (values || maxValueNameChars || maxValueBytes) {
        if (LONG status = k.ValueShapes(&shapes)) return status;
    }
    if (keyClass && classChars && *classChars) keyClass[0] = 0;
    if (classChars) *classChars = 0;
    if (maxClassChars) *maxClassChars = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(count);
    if (maxSubKeyChars) *maxSubKeyChars = static_cast<DWORD>(longest);
    DWORD longestName = 0, longestData = 0, valueCount = 0;
    {
        for (const Node::ValueShape& v : shapes) {
            ++valueCount;
            longestName = std::max<DWORD>(longestName, static_cast<DWORD>(v.nameLength));
            longestData = std::max<DWORD>(longestData, static_cast<DWORD>(ApiSize(v.type, v.bytes)));
        }
    }
    if (values) *values = valueCount;
    if (maxValueNameChars) *maxValueNameChars = longestName;
    if (maxValueBytes) *maxValueBytes = longestData;
    if (securityDescriptorBytes) *securityDescriptorBytes = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD, LPWSTR keyClass,
                   LPDWORD classChars, PFILETIME lastWriteTime) {
    if (LONG fault = RunCallHooks("RegEnumKeyExW")) return fault;
    Resolved handle;
    if (LONG status = Lookup(key, &handle)) return status;
    if (!(handle.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
    static std::u16string child;  // reused: a sweep enumerates many thousands
    if (LONG status = handle.key->SubkeyName(index, &child)) return status;
    if (child.size() >= *nameChars) return ERROR_MORE_DATA;
    for (size_t i = 0; i < child.size(); ++i) name[i] = static_cast<wchar_t>(child[i]);
    name[child.size()] = 0;
    *nameChars = static_cast<DWORD>(child.size());
    if (keyClass && classChars && *classChars) keyClass[0] = 0;
    if (classChars) *classChars = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}
