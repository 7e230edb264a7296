#include "provider/single_provider.h"

#include "app/console.h"
#include "app/output_form.h"
#include "provider/appid_registration.h"
#include "provider/provider_identity.h"
#include "provider/stored_value.h"
#include "registry/registry_key.h"

namespace {

void PrintIdentity(const std::wstring& progId, const std::wstring& clsid) {
    WriteLine("Provider ProgID = [", progId, "]");
    WriteLine("          CLSID = [", clsid, "]");
}

void PrintSurrogate(const std::wstring& host) {
    WriteLine("   DllSurrogate = [", host, "]");
}

void PrintNoAppId() {
    WriteLine("   DllSurrogate = ", "[-- N/A --]");
}

}  // namespace

LONG ConfigureProvider(const std::wstring& clsid, const std::wstring& hostPath, bool report) {
    // Only a class known to be none is passed over: an error is no answer.
    LONG marker = ProviderMarkerStatus(clsid);
    if (marker == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (marker != ERROR_SUCCESS) return marker;
    const std::wstring progId = ReadProviderProgId(clsid);
    RegistryKey classKey;
    classKey.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid);
    std::wstring appId = ReadClassAppId(classKey.Handle());
    if (appId.empty()) {
        LONG status = WriteClassAppId(classKey.Handle(), clsid);
        if (status != ERROR_SUCCESS) return status;
        appId = clsid;
    } else if (!IsUsableAppId(appId)) {
        return ERROR_INVALID_DATA;
    }
    if (!IsAppIdKeyComplete(appId)) {
        LONG status = InitializeAppIdKey(appId, progId);
        if (status != ERROR_SUCCESS) return status;
    }
    LONG status = WriteDllSurrogate(appId, hostPath);
    if (status != ERROR_SUCCESS) return status;
    if (!report) return ERROR_SUCCESS;
    PrintIdentity(progId, clsid);
    PrintSurrogate(hostPath);
    return ERROR_SUCCESS;
}

std::string ProviderJsonFields(const std::wstring& clsid) {
    std::string fields = "\"progId\": " + JsonString(ReadProviderProgId(clsid)) + ", \"clsid\": " + JsonString(clsid);
    RegistryKey classKey;
    classKey.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid);
    const std::wstring appId = ReadClassAppId(classKey.Handle());
    if (appId.empty() || !IsUsableAppId(appId)) return fields + ", \"appId\": null, \"dllSurrogate\": null";
    fields += ", \"appId\": " + JsonString(appId);
    StoredValue host = ReadStoredValue(L"AppID\\" + appId, L"DllSurrogate");
    if (!host.exists || host.type != REG_SZ) return fields + ", \"dllSurrogate\": null";
    std::wstring text;
    for (size_t i = 0; i + 1 < host.bytes.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(host.bytes[i] | (host.bytes[i + 1] << 8));
        if (c == 0) break;  // text up to its first NUL, as Windows programs read it
        text.push_back(c);
    }
    return fields + ", \"dllSurrogate\": " + JsonString(text);
}

LONG ShowProvider(const std::wstring& clsid) {
    if (!IsProviderClass(clsid)) return ERROR_SUCCESS;
    if (JsonLines()) {
        WriteLine("{", ProviderJsonFields(clsid), "}");
        return ERROR_SUCCESS;
    }
    PrintIdentity(ReadProviderProgId(clsid), clsid);
    RegistryKey classKey;
    classKey.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid);
    const std::wstring appId = ReadClassAppId(classKey.Handle());
    if (appId.empty() || !IsUsableAppId(appId)) {
        PrintNoAppId();
    } else {
        PrintSurrogate(ReadDllSurrogate(appId));
    }
    return ERROR_SUCCESS;
}
