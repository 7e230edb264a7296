// Conversions between the runtime's narrow (multibyte) text and wide text,
// in the runtime's default locale. A text that does not convert gives "".
#pragma once

#include <string>

std::wstring NarrowToWide(const std::string& narrow);
std::string WideToNarrow(const std::wstring& wide);
