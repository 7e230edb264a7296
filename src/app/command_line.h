// Parsing of the program's narrow arguments into the option record.
#pragma once

#include "app/command_options.h"

// Fills options from argv; 0 when every argument was recognised, -1 when
// there is nothing besides the program's name, -2 when one was not or when
// /L or /U= come without /C or /D (or with /S; /U= with /L).
int ParseCommandLine(char* argv[], CommandOptions& options, int argc);
// Whether /J is among the arguments: the output's form is known before the
// first line, the banner's.
bool IsJsonRequested(char* argv[], int argc);
