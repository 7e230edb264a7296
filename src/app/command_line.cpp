#include "app/command_line.h"

#include <cctype>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/output_form.h"
#include "app/text_conversion.h"
#include "platform/platform.h"

namespace {

constexpr char kCompanionHostFile[] = "\\QivDLLHost.exe";

// The current directory in full, however long; false when it cannot be read.
bool ReadCurrentDirectory(std::wstring* directory) {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    for (int attempt = 0; needed != 0 && attempt < 4; ++attempt) {
        std::vector<wchar_t> buffer(needed, L'\0');
        DWORD length = GetCurrentDirectoryW(needed, buffer.data());
        if (length == 0) break;
        if (length < needed) {
            directory->assign(buffer.data(), length);
            return true;
        }
        needed = length;  // the directory changed and grew in between
    }
    return false;
}

void RecordCompanionHost(CommandOptions& options) {
    std::wstring directory;
    options.currentDirectoryUnreadable = !ReadCurrentDirectory(&directory);
    // A drive's root ("C:\\") already ends in the separator.
    const char* file = kCompanionHostFile;
    if (!directory.empty() && directory.back() == L'\\') ++file;
    options.companionHostPath = directory + std::wstring(file, file + std::char_traits<char>::length(file));
    options.optionMap["qivdllhost"] = WideToNarrow(directory) + file;
}

std::string Lowered(const std::string& text) {
    std::string lowered = text;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

void ReportUnknown(const std::string& typed) {
    if (JsonLines()) {
        WriteLine("{\"error\": \"Unknown parameter.\", \"argument\": ", JsonString(typed), "}");
    } else {
        WriteLine("ERROR: Unknown parameter.[", typed, "]");
    }
}

// /L and /U= go with /C or /D alone; false after the line that says why.
bool CheckCombinations(const CommandOptions& options) {
    bool configures = options.optionMap.count("host") && !options.show;
    if (options.listOnly && !configures) {
        ReportError("/L lists what /C or /D would write: give it with /C or /D, and without /S.");
        return false;
    }
    if (!options.undoPath.empty() && (!configures || options.listOnly)) {
        ReportError("/U= saves what /C or /D change: give it with /C or /D, and without /S or /L.");
        return false;
    }
    return true;
}

}  // namespace

int ParseCommandLine(char* argv[], CommandOptions& options, int argc) {
    if (argc < 2) return -1;
    int result = 0;
    for (int index = 0; index < argc; ++index) {
        const std::string typed = argv[index] ? argv[index] : "";
        const std::string lowered = Lowered(typed);
        if (index == 0) {
            RecordCompanionHost(options);
            continue;
        }
        if (lowered == "/s") {
            options.show = true;
        } else if (lowered == "/c") {
            std::string& companion = options.optionMap["qivdllhost"];
            options.optionMap["host"] = companion;
            options.hostIsCompanion = true;
        } else if (lowered == "/d") {
            options.optionMap["host"] = "";
            options.hostIsCompanion = false;
        } else if (lowered.rfind("/p=", 0) == 0 && lowered.size() >= 4) {
            options.optionMap["progid"] = typed.substr(typed.find('=') + 1);
        } else if (lowered == "/l") {
            options.listOnly = true;
        } else if (lowered == "/j") {
            options.json = true;
        } else if (lowered.rfind("/u=", 0) == 0 && lowered.size() >= 4) {
            options.undoPath = typed.substr(3);
        } else {
            ReportUnknown(typed);
            result = -2;
        }
    }
    return CheckCombinations(options) ? result : -2;
}

bool IsJsonRequested(char* argv[], int argc) {
    for (int index = 1; index < argc; ++index)
        if (argv[index] && Lowered(argv[index]) == "/j") return true;
    return false;
}
