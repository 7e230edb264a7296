// The access that keys' security descriptors deny to everyone, by key: the
// stores hold no security of their own, so every key grants all access
// unless a test denies some.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/standin/store/node.h"

namespace standin {

struct DeniedAccess {
    bool read = false;   // querying values, enumerating subkeys
    bool write = false;  // setting values, creating subkeys
};

struct KeySecurity {
    std::unordered_map<uintptr_t, DeniedAccess> denied;  // by Node::Identity
};

KeySecurity& TheKeySecurity();
// What the key's security denies.
DeniedAccess DeniedTo(const Node& key);

}  // namespace standin
