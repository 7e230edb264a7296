// What the Win32 face keeps of the process beside the registry: the token's
// membership of the Administrators group, the current directory and the
// system drive, the console, and the COM memory and SIDs handed out.
#pragma once

#include <optional>
#include <string>

#include "platform/standin/win32_api.h"

namespace standin {

struct ProcessState {
    std::optional<bool> administrator;  // by default whether the user is root
    std::string notAdministratorWhy;    // said once on stderr when membership is asked and denied
    std::optional<std::wstring> currentDirectory;
    bool currentDirectoryUnreadable = false;
    std::string systemDrive;       // the host folder that is drive C:, resolved; "" for Wine's Z:
    std::string noSystemDriveWhy;  // set when no folder is drive C: and Z: would be wrong
    bool console = false;          // standard output is a console (tests say so)
    std::wstring consoleText;      // what WriteConsoleW was given
    int comBlocks = 0;             // COM task memory handed out and not yet freed
    int sids = 0;                  // SIDs allocated and not yet freed
    DWORD lastError = 0;
};

ProcessState& TheProcess();

}  // namespace standin
