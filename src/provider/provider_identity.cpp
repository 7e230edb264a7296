#include "provider/provider_identity.h"

#include "provider/registry_text.h"
#include "registry/registry_key.h"

namespace {

const std::wstring kClassesPrefix = L"CLSID\\";
const std::wstring kMarker = L"\\QIV Provider";

}  // namespace

std::wstring ProgIdToClsidString(const std::wstring& progId) {
    std::wstring result;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return result;
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text))) return result;
    result = text;
    CoTaskMemFree(text);
    return result;
}

bool IsProviderClass(const std::wstring& clsid) {
    return ProviderMarkerStatus(clsid) == ERROR_SUCCESS;
}

LONG ProviderMarkerStatus(const std::wstring& clsid) {
    return ProviderMarkerStatus(HKEY_CLASSES_ROOT, kClassesPrefix + clsid);
}

LONG ProviderMarkerStatus(HKEY clsidKey, const std::wstring& name) {
    RegistryKey marker;
    return marker.Open(clsidKey, name + kMarker);
}

std::wstring ReadProviderProgId(const std::wstring& clsid) {
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kClassesPrefix + clsid + L"\\VersionIndependentProgID") !=
        ERROR_SUCCESS)
        return std::wstring();
    return ReadText(key, L"");
}
