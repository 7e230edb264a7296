// The native tool's session: the registry file it works on, named by the
// environment, opened before the program runs and saved after it.
#pragma once

namespace standin {

// Opens and locks the registry the environment names (VANDREL_REGISTRY or
// VANDREL_HIVE), or ends the process with its refusal's status.
void StartNativeSession();
// Saves what the run changed; the program's status, or 74 when the save failed.
int FinishNativeSession(int status);

}  // namespace standin
