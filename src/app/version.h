// The program's version: the one place the banner and the version resource take it from.
#pragma once

#define VANDREL_VERSION_MAJOR 1
#define VANDREL_VERSION_MINOR 0
#define VANDREL_VERSION_PATCH 0
#define VANDREL_VERSION_TEXT "1.0.0"
