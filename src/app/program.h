// The program's run: banner, command line, one operation; its exit status.
#pragma once

int RunProgram(int argc, char* argv[]);
