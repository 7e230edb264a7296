// GetString, EnumerateSubkeys and the show and configure sweeps over registry
// content built from the input: classes with names, values, types and bytes of
// any length. Each record is: kind, name length, name bytes, type, data length,
// data bytes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_options.h"
#include "fuzz_support.h"
#include "provider/provider_operations.h"
#include "registry/registry_key.h"
#include "registry/subkey_enumerator.h"

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool Done() const { return at >= size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::vector<uint8_t> Bytes(size_t n) {
        n = std::min(n, size - std::min(at, size));
        std::vector<uint8_t> out(data + at, data + at + n);
        at += n;
        return out;
    }
};

std::wstring Name(const std::vector<uint8_t>& bytes) {
    std::wstring name;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        name.push_back(c == L'\\' || c == 0 ? L'_' : c);
    }
    return name;
}

bool ReadEveryValue(HKEY clsidKey, const std::wstring& name, void*) {
    RegistryKey key;
    if (key.Open(clsidKey, name) != ERROR_SUCCESS) return true;
    std::wstring value;
    for (auto n : {L"", L"AppID", L"v0", L"v1", L"v2"}) key.GetString(n, value);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SilenceConsole();
    standin::ResetRegistry();
    standin::SetAdministrator(true);
    standin::SetCurrentDirectoryOverride(L"Z:\\");
    const std::wstring classes = L"HKCR\\Wow6432Node\\CLSID\\";
    Reader in{data, size};
    std::wstring current = L"{00000000-0000-0000-0000-000000000000}";
    int values = 0;
    while (!in.Done()) {
        uint8_t kind = in.Byte();
        std::wstring name = Name(in.Bytes(in.Byte()));
        uint32_t type = in.Byte() % 12;
        std::vector<uint8_t> bytes = in.Bytes(in.Byte() * (kind & 0x80 ? 16 : 1));
        switch (kind % 5) {
            case 0: if (!name.empty()) current = name; standin::PutKey(classes + current); break;
            case 1: standin::PutKey(classes + current + L"\\QIV Provider"); break;
            case 2: standin::PutValue(classes + current, kind & 0x40 ? L"AppID" : L"v" + std::to_wstring(values++ % 3), type, bytes); break;
            case 3: standin::PutValue(L"HKCR\\AppID\\" + name, kind & 0x40 ? L"DllSurrogate" : L"AppID", type, bytes); break;
            case 4: standin::PutValue(classes + current + L"\\VersionIndependentProgID", L"", type, bytes); break;
        }
    }
    RegistryKey clsid;
    clsid.Open(HKEY_CLASSES_ROOT, L"CLSID");
    std::vector<std::wstring> names = EnumerateSubkeys(clsid, ReadEveryValue, nullptr);
    if (names != standin::SubkeyNames(L"HKCR\\Wow6432Node\\CLSID")) __builtin_trap();
    clsid.Close();
    CommandOptions show;
    if (ShowProviders(show) != 0) __builtin_trap();
    CommandOptions configure;
    configure.optionMap["host"] = "";
    int status = ConfigureProviders(configure);
    if (status != 0 && status != -3) __builtin_trap();
    fuzz::ExpectNothingOpen();
    return 0;
}
