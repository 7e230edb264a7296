#include "provider/provider_operations.h"

#include <string>

#include "app/console.h"
#include "app/text_conversion.h"
#include "provider/administrator.h"
#include "provider/companion_host.h"
#include "provider/provider_identity.h"
#include "provider/single_provider.h"
#include "registry/registry_key.h"
#include "registry/subkey_enumerator.h"

namespace {

// The CLSID string of the provider named by "progid", or "" when it names none.
std::wstring ResolveProvider(const CommandOptions& options) {
    const std::wstring clsid = ProgIdToClsidString(NarrowToWide(options.optionMap.at("progid")));
    return IsProviderClass(clsid) ? clsid : std::wstring();
}

bool HasProgId(const CommandOptions& options) {
    return options.optionMap.find("progid") != options.optionMap.end();
}

// Says, where the provider's report would have stood, that it was not configured.
void ReportFailure(const std::wstring& clsid, LONG status, CommandOptions* options) {
    WriteLine("ERROR: Configuration failed. [", clsid, "] (error ", std::to_string(status), ")");
    if (options) ++options->failedProviders;
}

void ConfigureAndReport(const std::wstring& clsid, const std::wstring& hostPath,
                        CommandOptions* options) {
    LONG status = ConfigureProvider(clsid, hostPath);
    if (status != ERROR_SUCCESS) ReportFailure(clsid, status, options);
}

// Chooses the host to write; false (after its message) when the companion host cannot be used.
bool ChooseHost(CommandOptions& options) {
    if (!options.hostIsCompanion) {
        options.hostPath = NarrowToWide(options.optionMap["host"]);
        return true;
    }
    if (options.currentDirectoryUnreadable) {
        WriteLine("ERROR: The current directory cannot be read.");
        return false;
    }
    if (!IsExistingFile(options.companionHostPath)) {
        WriteLine("ERROR: QivDLLHost.exe was not found. [", options.companionHostPath, "]");
        return false;
    }
    options.hostPath = options.companionHostPath;
    return true;
}

const char kClassesKey[] = "HKEY_CLASSES_ROOT\\CLSID";

void SweepClasses(SubkeyFilter filter, CommandOptions& options, EnumerationFailures* failures = nullptr) {
    RegistryKey classes;
    LONG status = classes.Open(HKEY_CLASSES_ROOT, L"CLSID");
    // No CLSID key at all means no classes; any other error means unknown ones.
    if (status != ERROR_SUCCESS) {
        if (failures && status != ERROR_FILE_NOT_FOUND) failures->queryStatus = status;
        return;
    }
    EnumerateSubkeys(classes, filter, &options, failures);
}

// A configuring sweep that could not visit every class has not configured
// every provider: each gap is reported and counts as a failure. Classes that
// were deleted while the sweep ran shift the indexes after them, so a class
// can move into an index already visited: the end coming early says so.
void ReportGaps(const EnumerationFailures& failures, CommandOptions& options) {
    if (failures.queryStatus != ERROR_SUCCESS) {
        WriteLine("ERROR: The classes cannot be read. [", kClassesKey, "] (error ",
                  std::to_string(failures.queryStatus), ")");
        ++options.failedProviders;
    }
    bool endedEarly = false;
    for (const auto& [index, status] : failures.skippedIndexes) {
        if (status == ERROR_NO_MORE_ITEMS) {
            endedEarly = true;
            continue;
        }
        WriteLine("ERROR: A class could not be read. [", kClassesKey, ", subkey ", std::to_string(index),
                  "] (error ", std::to_string(status), ")");
        ++options.failedProviders;
    }
    if (endedEarly) {
        WriteLine("ERROR: The classes changed during the sweep; some may not have been examined. [",
                  kClassesKey, "]");
        ++options.failedProviders;
    }
}

}  // namespace

bool ConfigureSubkeyFilter(HKEY clsidKey, const std::wstring& name, void* context) {
    auto* options = static_cast<CommandOptions*>(context);
    LONG marker = ProviderMarkerStatus(clsidKey, name);
    if (marker == ERROR_FILE_NOT_FOUND) return false;
    if (marker != ERROR_SUCCESS) {
        // Whether it is a provider cannot be told, so it cannot be configured.
        ReportFailure(name, marker, options);
        return false;
    }
    ConfigureAndReport(name, options ? options->hostPath : std::wstring(), options);
    return false;
}

bool ShowSubkeyFilter(HKEY clsidKey, const std::wstring& name, void*) {
    if (ProviderMarkerStatus(clsidKey, name) == ERROR_SUCCESS) ShowProvider(name);
    return false;
}

int ShowProviders(CommandOptions& options) {
    WriteLine("Provider DllSurrogate validation. ");
    if (HasProgId(options)) {
        const std::wstring clsid = ResolveProvider(options);
        if (clsid.empty()) return -2;
        ShowProvider(clsid);
        return 0;
    }
    SweepClasses(ShowSubkeyFilter, options);
    return 0;
}

int ConfigureProviders(CommandOptions& options) {
    WriteLine("Provider DllSurrogate configuration. ");
    if (!IsAdministrator()) return -1;
    if (!ChooseHost(options)) return -3;
    options.failedProviders = 0;
    if (HasProgId(options)) {
        const std::wstring clsid = ResolveProvider(options);
        if (clsid.empty()) return -2;
        ConfigureAndReport(clsid, options.hostPath, &options);
    } else {
        EnumerationFailures failures;
        SweepClasses(ConfigureSubkeyFilter, options, &failures);
        ReportGaps(failures, options);
    }
    return options.failedProviders > 0 ? -3 : 0;
}
