#include "platform/standin/win32/key_security.h"

namespace standin {

KeySecurity& TheKeySecurity() {
    static KeySecurity security;
    return security;
}

DeniedAccess DeniedTo(const Node& key) {
    const auto& denied = TheKeySecurity().denied;
    if (denied.empty()) return {};
    auto it = denied.find(key.Identity());
    return it == denied.end() ? DeniedAccess{} : it->second;
}

}  // namespace standin
