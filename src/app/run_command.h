// The run dispatcher: runs the show or the configure operation, or nothing.
#pragma once

#include "app/command_options.h"

// 0 when the operation ran to its end (or none was asked for); -1 without
// administrator rights; -2 for a ProgID that names no provider; -3 when the
// command line was right but the work failed. Writes the -1 and -2 messages.
int RunCommand(CommandOptions& options);
