// The usage text that follows every rejected command line.
#pragma once

void PrintUsage();
