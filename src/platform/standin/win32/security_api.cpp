// Token membership: the process is an administrator when it runs as root,
// unless a test says otherwise.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/standin/win32/call_hooks.h"
#include "platform/standin/win32/process_state.h"

using namespace standin;

namespace {

struct Sid {
    BYTE revision = 1;
    BYTE count = 0;
    SID_IDENTIFIER_AUTHORITY authority{};
    DWORD subAuthority[8]{};
};

bool IsAdministratorsSid(const Sid& sid) {
    static const BYTE kNt[6] = {0, 0, 0, 0, 0, 5};
    return sid.count == 2 && std::memcmp(sid.authority.Value, kNt, 6) == 0 &&
           sid.subAuthority[0] == SECURITY_BUILTIN_DOMAIN_RID &&
           sid.subAuthority[1] == DOMAIN_ALIAS_RID_ADMINS;
}

}  // namespace

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                              DWORD sub6, DWORD sub7, PSID* sid) {
    if (RunCallHooks("AllocateAndInitializeSid", false)) return FALSE;
    if (!authority || !sid || count == 0 || count > 8) return FALSE;
    auto made = std::make_unique<Sid>();
    made->count = count;
    made->authority = *authority;
    DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    std::memcpy(made->subAuthority, subs, sizeof subs);
    *sid = made.release();
    ++TheProcess().sids;
    return TRUE;
}

BOOL CheckTokenMembership(HANDLE, PSID sid, BOOL* isMember) {
    if (RunCallHooks("CheckTokenMembership", false)) return FALSE;
    if (!sid || !isMember) return FALSE;
    bool admin = TheProcess().administrator.value_or(geteuid() == 0);
    if (!admin && !TheProcess().notAdministratorWhy.empty()) {
        std::fprintf(stderr, "vandrel: %s\n", TheProcess().notAdministratorWhy.c_str());
        TheProcess().notAdministratorWhy.clear();
    }
    *isMember = admin && IsAdministratorsSid(*static_cast<const Sid*>(sid)) ? TRUE : FALSE;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    if (sid) --TheProcess().sids;
    std::unique_ptr<Sid> owned(static_cast<Sid*>(sid));
    return nullptr;
}
