#include "registry/subkey_enumerator.h"

#include <algorithm>

bool IsAddressableName(const std::wstring& name) {
    return name.find(L'\0') == std::wstring::npos;
}

std::vector<std::wstring> EnumerateSubkeys(const RegistryKey& key, SubkeyFilter filter, void* context,
                                           EnumerationFailures* failures) {
    std::vector<std::wstring> kept;
    DWORD count = 0;
    DWORD longest = 0;
    LONG status = RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &count, &longest,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        if (failures) failures->queryStatus = status;
        return kept;
    }
    std::wstring name(static_cast<size_t>(longest) + 1, L'\0');
    kept.reserve(count);
    const size_t capacity = name.size();
    for (DWORD index = 0; index < count; ++index) {
        name.resize(capacity);  // within the buffer's own storage: no reallocation
        auto chars = static_cast<DWORD>(capacity);
        status = RegEnumKeyExW(key.Handle(), index, name.data(), &chars, nullptr, nullptr, nullptr,
                               nullptr);
        if (status != ERROR_SUCCESS) {
            if (failures) failures->skippedIndexes.emplace_back(index, status);
            continue;
        }
        name.resize(std::min<size_t>(chars, capacity));
        if (!IsAddressableName(name)) {
            if (failures) failures->skippedIndexes.emplace_back(index, ERROR_INVALID_NAME);
            continue;
        }
        if (filter && !filter(key.Handle(), name, context)) continue;
        kept.push_back(name);
    }
    return kept;
}
