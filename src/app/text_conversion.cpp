#include "app/text_conversion.h"

#include <cstdlib>
#include <vector>

#include "platform/platform.h"

std::wstring NarrowToWide(const std::string& narrow) {
    std::vector<wchar_t> buffer(narrow.size() + 1, L'\0');
    size_t converted = 0;
    mbstowcs_s(&converted, buffer.data(), buffer.size(), narrow.c_str(), _TRUNCATE);
    return std::wstring(buffer.data());
}

std::string WideToNarrow(const std::wstring& wide) {
    std::vector<char> buffer(wide.size() * MB_CUR_MAX + 1, '\0');
    size_t converted = 0;
    wcstombs_s(&converted, buffer.data(), buffer.size(), wide.c_str(), _TRUNCATE);
    return std::string(buffer.data());
}
