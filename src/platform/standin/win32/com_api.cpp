// ProgID resolution as ole32 does it: HKEY_CLASSES_ROOT\<ProgID>\CLSID holds
// the class identifier in registry form. No COM initialisation is needed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/process_state.h"
#include "platform/standin/store/store.h"
#include "platform/standin/win32/key_security.h"
#include "platform/standin/text/text_codec.h"

using namespace standin;

namespace {

bool ParseGuid(std::u16string_view text, GUID* guid) {
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != sizeof(kShape) - 1) return false;
    uint8_t bytes[16];
    int nibble = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] != 'X') {
            if (text[i] != static_cast<char16_t>(kShape[i])) return false;
            continue;
        }
        int d = HexDigitValue(text[i]);
        if (d < 0) return false;
        if (nibble % 2 == 0) bytes[nibble / 2] = static_cast<uint8_t>(d << 4);
        else bytes[nibble / 2] |= static_cast<uint8_t>(d);
        ++nibble;
    }
    guid->Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    guid->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    guid->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(guid->Data4, bytes + 8, 8);
    return true;
}

}  // namespace

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (RunCallHooks("CLSIDFromProgID", false)) return CO_E_CLASSSTRING;
    if (!progId || !clsid) return E_INVALIDARG;
    std::u16string name = WideToUtf16(progId);
    if (name.empty() || name.find(u'\\') != std::u16string::npos) return CO_E_CLASSSTRING;
    std::shared_ptr<Node> classes = StoreRoot(HKEY_CLASSES_ROOT);
    std::shared_ptr<Node> key, clsidKey;
    if (!classes || classes->FindChild(name, &key) || DeniedTo(*key).read) return CO_E_CLASSSTRING;
    if (key->FindChild(u"CLSID", &clsidKey) || DeniedTo(*clsidKey).read) return CO_E_CLASSSTRING;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    if (clsidKey->ReadValue(u"", &type, &data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return CO_E_CLASSSTRING;
    std::u16string text = Utf16LeUnits(data);
    while (!text.empty() && text.back() == 0) text.pop_back();
    return ParseGuid(text, clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
    if (RunCallHooks("StringFromCLSID", false)) return E_OUTOFMEMORY;
    if (!text) return E_INVALIDARG;
    char narrow[39];
    std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  clsid.Data1, clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6],
                  clsid.Data4[7]);
    auto* out = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * 39));
    if (!out) return E_OUTOFMEMORY;
    for (int i = 0; i < 39; ++i) out[i] = static_cast<wchar_t>(narrow[i]);
    ++TheProcess().comBlocks;
    *text = out;
    return S_OK;
}

void CoTaskMemFree(LPVOID block) {
    if (!block) return;
    --TheProcess().comBlocks;
    std::free(block);
}
