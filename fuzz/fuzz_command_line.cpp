// The command-line parser and dispatcher on any argument vector: the input is
// split into arguments at NUL bytes, so arguments may be empty, huge or hold
// any byte. The registry holds the example providers, the current directory
// the companion host (so that /L lists a plan); the token is no
// administrator, so configuring stops before it writes.
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_command.h"
#include "fuzz_support.h"

namespace {

// The current directory of every run: a folder of this target's own, holding
// the companion host and nothing else, so that what the tool finds there
// (and what it compares looking for it) is the same on every machine.
const std::wstring& CurrentDirectory() {
    static const std::wstring directory = [] {
        mkdir("/tmp/vandrel_fuzz_cwd", 0755);
        std::ofstream("/tmp/vandrel_fuzz_cwd/QivDLLHost.exe", std::ios::binary | std::ios::trunc) << "MZ";
        return std::wstring(L"Z:\\tmp\\vandrel_fuzz_cwd");
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SilenceConsole();
    standin::ResetRegistry();
    standin::SetAdministrator(false);
    standin::SetCurrentDirectoryOverride(CurrentDirectory());
    standin::PutKey(L"HKCR\\Wow6432Node\\CLSID\\{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}\\QIV Provider");
    standin::PutString(L"HKCR\\Talvek.Alpha\\CLSID", L"", L"{5E1C7A10-3B2D-4C8E-9F01-00000000A1FA}");

    std::vector<std::string> args{"Vandrel.exe"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0) args.push_back(current);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    CommandOptions options;
    int status = ParseCommandLine(argv.data(), options, static_cast<int>(args.size()));
    if (status >= 0) status = RunCommand(options);
    // 1 is /L's alone: something would be written.
    if (status != 0 && status != -1 && status != -2 && status != -3 && !(status == 1 && options.listOnly))
        __builtin_trap();
    if (standin::RegistryChanged()) __builtin_trap();  // no rights: nothing may be written
    fuzz::ExpectNothingOpen();
    return 0;
}
