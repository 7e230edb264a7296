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

// Configures one provider, or says where its report would have stood that it failed.
void ConfigureAndReport(const std::wstring& clsid, const std::wstring& hostPath,
                        CommandOptions* options) {
    LONG status = ConfigureProvider(clsid, hostPath);
    if (status == ERROR_SUCCESS) return;
    WriteLine("ERROR: Configuration failed. [", clsid, "] (error ", std::to_string(status), ")");
    if (options) ++options->failedProviders;
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

void SweepClasses(SubkeyFilter filter, CommandOptions& options) {
    RegistryKey classes;
    classes.Open(HKEY_CLASSES_ROOT, L"CLSID");
    EnumerateSubkeys(classes, filter, &options);
}

}  // namespace

bool ConfigureSubkeyFilter(HKEY clsidKey, const std::wstring& name, void* context) {
    if (!HasProviderMarker(clsidKey, name)) return false;
    auto* options = static_cast<CommandOptions*>(context);
    ConfigureAndReport(name, options ? options->hostPath : std::wstring(), options);
    return false;
}

bool ShowSubkeyFilter(HKEY clsidKey, const std::wstring& name, void*) {
    if (HasProviderMarker(clsidKey, name)) ShowProvider(name);
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
        SweepClasses(ConfigureSubkeyFilter, options);
    }
    return options.failedProviders > 0 ? -3 : 0;
}
