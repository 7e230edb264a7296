// What the native session sets of the process: the token's membership of
// the Administrators group, and the folder that is drive C:.
#include <sys/stat.h>

#include <cstdlib>

#include "platform/standin/registry_state.h"
#include "platform/standin/standin.h"

namespace standin {

void SetAdministrator(std::optional<bool> member, std::string whyNot) {
    TheState().administrator = member;
    TheState().notAdministratorWhy = std::move(whyNot);
}

void SetNoSystemDrive(std::string why) {
    TheState().systemDrive.clear();
    TheState().noSystemDriveWhy = std::move(why);
}

bool SetSystemDrive(const std::string& folder) {
    State& state = TheState();
    if (folder.empty()) {
        state.systemDrive.clear();
        return true;
    }
    char* real = realpath(folder.c_str(), nullptr);
    if (!real) return false;
    struct stat info;
    bool isFolder = stat(real, &info) == 0 && S_ISDIR(info.st_mode);
    if (isFolder) state.systemDrive = real;
    std::free(real);
    return isFolder;
}

}  // namespace standin
