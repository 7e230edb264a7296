// The two operations the dispatcher runs: over the provider named by the
// "progid" option, or over every provider under HKEY_CLASSES_ROOT\CLSID.
#pragma once

#include <string>

#include "app/command_options.h"
#include "platform/platform.h"

// 0 when it ran to its end; -2 when "progid" names no provider.
int ShowProviders(CommandOptions& options);
// 0 when every provider was configured; -1 without administrator rights; -2
// when "progid" names no provider; -3 when the companion host cannot be used
// or the undo file cannot be made (nothing written), or a provider's
// configuration failed (each one reported). Listing only (/L), it writes
// nothing, needs no rights, and gives 1 when any value would be written.
int ConfigureProviders(CommandOptions& options);

// Sweep filters: the context is the CommandOptions record (or null). Both keep nothing.
bool ConfigureSubkeyFilter(HKEY clsidKey, const std::wstring& name, void* context);
bool ShowSubkeyFilter(HKEY clsidKey, const std::wstring& name, void* context);
