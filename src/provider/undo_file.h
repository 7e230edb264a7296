// The undo file of /U=: what restores every value and key a run is about to
// change, in regedit's format (UTF-16LE with a byte-order mark, CR LF, key
// paths from HKEY_CLASSES_ROOT, the 32-bit view), so that
// `reg import <file> /reg:32` leaves the registry as it was before the run.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "provider/write_plan.h"

// Owns the open file; every failure returns the Win32 error of the call that
// failed, and what was written before it stays (it restores the writes made).
class UndoFile {
public:
    // Creates the file with the header alone; never over an existing file.
    static LONG Create(const std::wstring& path, std::unique_ptr<UndoFile>* file);
    ~UndoFile();
    UndoFile(const UndoFile&) = delete;
    UndoFile& operator=(const UndoFile&) = delete;

    // Appends, and flushes to disk, what restores the values these writes
    // would change and removes the keys they would create; each value and
    // key is recorded once, as it was before the run first touched it.
    LONG Protect(const std::vector<PlannedWrite>& writes);

    explicit UndoFile(HANDLE handle) : handle_(handle) {}

private:
    LONG Append(const std::wstring& text);

    HANDLE handle_;
    std::set<std::wstring> recorded_;  // folded "key\nname"
    std::set<std::wstring> madeKeys_;  // folded keys the run creates
};

// The line of a value as regedit writes it: "name"=data, the data in a form
// that imports back to the exact type and bytes.
std::wstring UndoValueLine(const std::wstring& name, DWORD type, const std::vector<uint8_t>& bytes);
