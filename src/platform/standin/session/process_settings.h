// What the native session sets of the process before the program runs: the
// token's membership of the Administrators group and the folder that is
// drive C:. Product code never includes this header.
#pragma once

#include <optional>
#include <string>

namespace standin {

// Token membership of the Administrators group; by default whether the user
// is root. whyNot is said on standard error when membership is denied.
void SetAdministrator(std::optional<bool> member, std::string whyNot = "");

// The host folder that stands for drive C: (an offline image's system drive):
// the current directory and file paths are given as C:\... inside it, and
// nothing outside it has a path. Empty: Wine's Z: for the host's root.
// False when the folder does not exist.
bool SetSystemDrive(const std::string& folder);
// No folder is drive C: and Wine's Z: would name nothing on the machine the
// registry belongs to: the current directory cannot be read, and why is said
// on standard error once.
void SetNoSystemDrive(std::string why);

}  // namespace standin
