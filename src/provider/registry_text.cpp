#include "provider/registry_text.h"

#include <string_view>

std::wstring ReadText(const RegistryKey& key, const std::wstring& name) {
    std::wstring text;
    if (key.GetString(name, text) != ERROR_SUCCESS) return std::wstring();
    text.resize(std::wstring_view(text.c_str()).size());
    return text;
}
