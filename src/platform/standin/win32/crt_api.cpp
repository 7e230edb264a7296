// The Windows runtime's secure conversions in its default "C" locale: a byte
// is the character of the same value, and a character above U+00FF has no
// narrow form. A failed conversion leaves an empty result.
#include <cerrno>

#include "platform/standin/win32_api.h"

errno_t mbstowcs_s(size_t* converted, wchar_t* dest, size_t destChars, const char* src,
                   size_t count) {
    if (converted) *converted = 0;
    if (!dest || destChars == 0 || !src) return EINVAL;
    size_t limit = count == _TRUNCATE ? destChars - 1 : count;
    size_t i = 0;
    for (; src[i] && i < limit; ++i) {
        if (i + 1 >= destChars) {
            dest[0] = 0;
            return ERANGE;
        }
        dest[i] = static_cast<wchar_t>(static_cast<unsigned char>(src[i]));
    }
    dest[i] = 0;
    if (converted) *converted = i + 1;
    return (count == _TRUNCATE && src[i]) ? 80 /* STRUNCATE */ : 0;
}

errno_t wcstombs_s(size_t* converted, char* dest, size_t destBytes, const wchar_t* src,
                   size_t count) {
    if (converted) *converted = 0;
    if (!dest || destBytes == 0 || !src) return EINVAL;
    size_t limit = count == _TRUNCATE ? destBytes - 1 : count;
    size_t i = 0;
    for (; src[i] && i < limit; ++i) {
        if (static_cast<uint32_t>(src[i]) > 0xFF) {
            dest[0] = 0;
            return EILSEQ;
        }
        if (i + 1 >= destBytes) {
            dest[0] = 0;
            return ERANGE;
        }
        dest[i] = static_cast<char>(src[i]);
    }
    dest[i] = 0;
    if (converted) *converted = i + 1;
    return (count == _TRUNCATE && src[i]) ? 80 /* STRUNCATE */ : 0;
}
