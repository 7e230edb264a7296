// What the native session sets of the process: the token's membership of
// the Administrators group, and the folder that is drive C:.
#include <sys/stat.h>

#include <cstdlib>

#include "platform/standin/win32/process_state.h"
#include "platform/standin/session/process_settings.h"

namespace standin {

void SetAdministrator(std::optional<bool> member, std::string whyNot) {
    TheProcess().administrator = member;
    TheProcess().notAdministratorWhy = std::move(whyNot);
}

void SetNoSystemDrive(std::string why) {
    TheProcess().systemDrive.clear();
    TheProcess().noSystemDriveWhy = std::move(why);
}

bool SetSystemDrive(const std::string& folder) {
    if (folder.empty()) {
        TheProcess().systemDrive.clear();
        return true;
    }
    char* real = realpath(folder.c_str(), nullptr);
    if (!real) return false;
    struct stat info;
    bool isFolder = stat(real, &info) == 0 && S_ISDIR(info.st_mode);
    if (isFolder) TheProcess().systemDrive = real;
    std::free(real);
    return isFolder;
}

}  // namespace standin
