// The option record of one run: what the command line asked for.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "provider/undo_file.h"
#include "provider/write_plan.h"

struct CommandOptions {
    // "qivdllhost": the companion host path, narrow; "host": the DllSurrogate
    // value chosen by /C or /D; "progid": the ProgID given with /P=, as typed.
    std::map<std::string, std::string> optionMap;
    // The surrogate host to write, wide; filled by the configure operation.
    std::wstring hostPath;
    // Set by /S.
    bool show = false;

    // The companion host path exactly as the current directory gives it; the
    // narrow "qivdllhost" entry cannot carry every character.
    std::wstring companionHostPath;
    // The current directory could not be read when the command line was parsed.
    bool currentDirectoryUnreadable = false;
    // The last of /C and /D was /C: "host" names the companion host.
    bool hostIsCompanion = false;
    // Providers whose configuration failed during this run.
    int failedProviders = 0;

    // /L: list what /C or /D would write, write nothing.
    bool listOnly = false;
    // /J: JSON Lines instead of the console text.
    bool json = false;
    // /U=<file>: the undo file, as typed ("" without /U=).
    std::string undoPath;
    // What a list-only sweep would have written so far, and whether anything.
    PendingWrites pending;
    bool changesPending = false;
    // The open undo file; a run whose undo file cannot be written stops.
    std::unique_ptr<UndoFile> undo;
    bool stopped = false;
};
