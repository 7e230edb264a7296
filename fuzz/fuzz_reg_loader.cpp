// The stand-in's .reg loader on any bytes. Whatever loads is written back,
// unchanged, byte for byte as it was; and after one value is set, the saved
// file loads again to the same registry and saves again to the same bytes.
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::ResetRegistry();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!standin::LoadRegistryText(bytes, "fuzz.reg").ok) return 0;
    if (standin::SerializeRegistry() != bytes) __builtin_trap();
    standin::PutString(L"HKCR\\AppID\\{F}", L"DllSurrogate", L"C:\\h.exe");
    standin::Snapshot changed = standin::TakeSnapshot();
    std::string saved = standin::SerializeRegistry();
    if (!standin::LoadRegistryText(saved, "saved.reg").ok) __builtin_trap();
    if (standin::TakeSnapshot() != changed) __builtin_trap();
    if (standin::SerializeRegistry() != saved) __builtin_trap();
    return 0;
}
