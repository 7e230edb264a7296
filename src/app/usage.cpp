#include "app/usage.h"

#include "app/console.h"

void PrintUsage() {
    WriteLine("Usage:");
    WriteLine("Vandrel.exe [/S] [/C] [/D] [/P=<ProgID>]");
    WriteLine("    /S             Show the DllSurrogate current value.");
    WriteLine("    /C             Specify QivDLLHost.exe as COM Surrogate host.");
    WriteLine("    /D             Specify system default (DLLHost.exe) as COM Surrogate host.");
    WriteLine("    /P=<ProgID>    Specify the target Provider with ProgID.");
    WriteLine("");
}
