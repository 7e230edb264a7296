// The one header through which product code reaches the platform. On Windows
// it is the real Windows API; elsewhere it is the native stand-in, which
// offers the same functions under the same names.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <stdlib.h>
#else
#include "platform/standin/win32_api.h"
#endif
