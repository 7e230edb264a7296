// Parsing of the program's narrow arguments into the option record.
#pragma once

#include "app/command_options.h"

// Fills options from argv; 0 when every argument was recognised, -1 when
// there is nothing besides the program's name, -2 when one was not.
int ParseCommandLine(char* argv[], CommandOptions& options, int argc);
