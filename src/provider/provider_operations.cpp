#include "provider/provider_operations.h"

#include <string>

#include "app/console.h"
#include "app/output_form.h"
#include "app/text_conversion.h"
#include "provider/administrator.h"
#include "provider/companion_host.h"
#include "provider/provider_identity.h"
#include "provider/single_provider.h"
#include "provider/stored_value.h"
#include "provider/write_plan.h"
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
    ReportError("Configuration failed.", clsid, status);
    if (options) ++options->failedProviders;
}

const char kWouldWrite[] = "    Would write = ";

// One provider's object of JSON Lines: its registration as it now is, and the
// writes the run made (or, listing only, would make).
void ReportJson(const std::wstring& clsid, const std::vector<PlannedWrite>& writes, LONG status) {
    std::string written;
    for (const PlannedWrite& w : writes) {
        if (!written.empty()) written += ", ";
        written += "{\"key\": " + JsonString(L"HKEY_CLASSES_ROOT\\" + w.key) + ", \"name\": " + JsonString(w.name) +
                   ", \"data\": " + JsonString(w.text) + "}";
    }
    WriteLine("{", ProviderJsonFields(clsid), ", \"written\": [", written, "], \"changed\": ",
              writes.empty() ? "false" : "true", ", \"status\": ", std::to_string(status), "}");
}

// /L: the report as /S shows it now, then each value the run would change.
void ListProvider(const std::wstring& clsid, const std::vector<PlannedWrite>& changes, LONG status,
                  CommandOptions& options) {
    if (JsonLines()) {
        ReportJson(clsid, changes, status);
    } else if (status != ERROR_SUCCESS) {
        ReportError("Configuration failed.", clsid, status);
    } else {
        ShowProvider(clsid);
        for (const PlannedWrite& w : changes)
            WriteLine(kWouldWrite, L"[HKEY_CLASSES_ROOT\\" + w.key + L"] \"" + w.name + L"\" = [" + w.text + L"]");
    }
    if (status != ERROR_SUCCESS) ++options.failedProviders;
    for (const PlannedWrite& w : changes) options.pending.Note(w);
    if (!changes.empty()) options.changesPending = true;
}

// The writes of a run that lists them, keeps their undo or reports them as
// JSON: planned first, protected in the undo file, made as ConfigureProvider
// makes them.
void ConfigurePlanned(const std::wstring& clsid, const std::wstring& hostPath, CommandOptions& options) {
    ConfigurationPlan plan;
    LONG status = PlanConfiguration(clsid, hostPath, options.pending, &plan);
    if (!plan.provider) return;
    std::vector<PlannedWrite> changes;
    for (const PlannedWrite& w : plan.writes)
        if (status == ERROR_SUCCESS && WouldChange(w, options.pending)) changes.push_back(w);
    if (options.listOnly) {
        ListProvider(clsid, changes, status, options);
        return;
    }
    if (status == ERROR_SUCCESS && options.undo) {
        if (LONG undone = options.undo->Protect(plan.writes)) {
            ReportError("The undo file could not be written; the run stopped before its next write.",
                        NarrowToWide(options.undoPath), undone);
            ++options.failedProviders;
            options.stopped = true;
            return;
        }
    }
    if (status == ERROR_SUCCESS) status = ConfigureProvider(clsid, hostPath, !JsonLines());
    if (status != ERROR_SUCCESS) ++options.failedProviders;
    if (!JsonLines()) {
        if (status != ERROR_SUCCESS) ReportError("Configuration failed.", clsid, status);
        return;
    }
    std::vector<PlannedWrite> written;  // what now holds what the run wrote
    for (const PlannedWrite& w : changes)
        if (HoldsText(ReadStoredValue(w.key, w.name), w.text)) written.push_back(w);
    ReportJson(clsid, written, status);
}

void ConfigureAndReport(const std::wstring& clsid, const std::wstring& hostPath,
                        CommandOptions* options) {
    if (options && options->stopped) return;
    if (options && (options->listOnly || options->undo || JsonLines())) {
        ConfigurePlanned(clsid, hostPath, *options);
        return;
    }
    LONG status = ConfigureProvider(clsid, hostPath);
    if (status != ERROR_SUCCESS) ReportFailure(clsid, status, options);
}

// Opens the undo file once the run has passed its checks; false after its error line.
bool OpenUndoFile(CommandOptions& options) {
    if (options.undoPath.empty()) return true;
    const std::wstring path = NarrowToWide(options.undoPath);
    LONG status = UndoFile::Create(path, &options.undo);
    if (status == ERROR_SUCCESS) return true;
    if (status == ERROR_FILE_EXISTS || status == ERROR_ALREADY_EXISTS) {
        ReportError("The undo file exists already; it is never overwritten.", path);
    } else {
        ReportError("The undo file cannot be created.", path, status);
    }
    return false;
}

void PrintHeader(const char* header) {
    if (!JsonLines()) WriteLine(header);
}

// Chooses the host to write; false (after its message) when the companion host cannot be used.
bool ChooseHost(CommandOptions& options) {
    if (!options.hostIsCompanion) {
        options.hostPath = NarrowToWide(options.optionMap["host"]);
        return true;
    }
    if (options.currentDirectoryUnreadable) {
        ReportError("The current directory cannot be read.");
        return false;
    }
    if (!IsExistingFile(options.companionHostPath)) {
        ReportError("QivDLLHost.exe was not found.", options.companionHostPath);
        return false;
    }
    options.hostPath = options.companionHostPath;
    return true;
}

const wchar_t kClassesKey[] = L"HKEY_CLASSES_ROOT\\CLSID";

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
        ReportError("The classes cannot be read.", kClassesKey, failures.queryStatus);
        ++options.failedProviders;
    }
    bool endedEarly = false;
    for (const auto& [index, status] : failures.skippedIndexes) {
        if (status == ERROR_NO_MORE_ITEMS) {
            endedEarly = true;
            continue;
        }
        ReportError("A class could not be read.", std::wstring(kClassesKey) + L", subkey " + std::to_wstring(index),
                    status);
        ++options.failedProviders;
    }
    if (endedEarly) {
        ReportError("The classes changed during the sweep; some may not have been examined.", kClassesKey);
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
    PrintHeader("Provider DllSurrogate validation. ");
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
    PrintHeader(options.listOnly ? "Provider DllSurrogate configuration (list only). "
                                 : "Provider DllSurrogate configuration. ");
    // Listing writes nothing, so it needs no rights.
    if (!options.listOnly && !IsAdministrator()) return -1;
    if (!ChooseHost(options)) return -3;
    options.failedProviders = 0;
    if (HasProgId(options)) {
        const std::wstring clsid = ResolveProvider(options);
        if (clsid.empty()) return -2;
        if (!OpenUndoFile(options)) return -3;
        ConfigureAndReport(clsid, options.hostPath, &options);
    } else {
        if (!OpenUndoFile(options)) return -3;
        EnumerationFailures failures;
        SweepClasses(ConfigureSubkeyFilter, options, &failures);
        ReportGaps(failures, options);
    }
    if (options.failedProviders > 0) return -3;
    return options.changesPending ? 1 : 0;
}
