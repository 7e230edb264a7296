#include "platform/standin/store/root_names.h"

#include "platform/standin/text/text_codec.h"

namespace standin {

namespace {

struct RootName {
    std::u16string_view full;
    std::u16string_view shortName;
    HKEY handle;
};

const RootName kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
    {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
    {u"HKEY_USERS", u"HKU", HKEY_USERS},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG},
};

}  // namespace

HKEY RootOfPath(std::u16string_view path, size_t* used) {
    size_t end = path.find(u'\\');
    std::u16string_view first = path.substr(0, end);
    for (const auto& root : kRoots) {
        if (EqualsFolded(first, root.full) || EqualsFolded(first, root.shortName)) {
            *used = end == std::u16string_view::npos ? path.size() : end + 1;
            return root.handle;
        }
    }
    return nullptr;
}

}  // namespace standin
