#include "provider/provider_identity.h"

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
    RegistryKey marker;
    marker.Open(HKEY_CLASSES_ROOT, kClassesPrefix + clsid + kMarker);
    return marker.Handle() != nullptr;
}

bool HasProviderMarker(HKEY clsidKey, const std::wstring& name) {
    RegistryKey marker;
    marker.Open(clsidKey, name + kMarker);
    return marker.Handle() != nullptr;
}

std::wstring ReadProviderProgId(const std::wstring& clsid) {
    std::wstring progId;
    RegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kClassesPrefix + clsid + L"\\VersionIndependentProgID") !=
        ERROR_SUCCESS)
        return progId;
    key.GetString(L"", progId);
    return progId;
}
