#include "provider/single_provider.h"

#include "app/console.h"
#include "provider/appid_registration.h"
#include "provider/provider_identity.h"
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

LONG ConfigureProvider(const std::wstring& clsid, const std::wstring& hostPath) {
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
    PrintIdentity(progId, clsid);
    PrintSurrogate(hostPath);
    return ERROR_SUCCESS;
}

LONG ShowProvider(const std::wstring& clsid) {
    if (!IsProviderClass(clsid)) return ERROR_SUCCESS;
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
