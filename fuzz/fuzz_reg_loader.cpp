// The stand-in's .reg loader on any bytes. Whatever loads must be written
// back in a form that loads again to the same registry and the same text.
#include <cstdint>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    standin::ResetRegistry();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!standin::LoadRegistryText(bytes, "fuzz.reg").ok) return 0;
    standin::Snapshot loaded = standin::TakeSnapshot();
    std::string saved = standin::SerializeRegistry();
    if (!standin::LoadRegistryText(saved, "saved.reg").ok) __builtin_trap();
    if (standin::TakeSnapshot() != loaded) __builtin_trap();
    if (standin::SerializeRegistry() != saved) __builtin_trap();
    return 0;
}
