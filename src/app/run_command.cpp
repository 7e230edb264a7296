#include "app/run_command.h"

#include "app/console.h"
#include "provider/provider_operations.h"

int RunCommand(CommandOptions& options) {
    int status = 0;
    if (options.show) {
        status = ShowProviders(options);
    } else {
        if (options.optionMap.find("host") == options.optionMap.end()) return 0;
        status = ConfigureProviders(options);
    }
    if (status == -2) {
        WriteLine("ERROR: Invalid ProgID. [", options.optionMap["progid"], "]");
        WriteLine("");
        return -2;
    }
    if (status == -1) {
        WriteLine("ERROR: Administrator rights are required.");
        WriteLine("");
        return -1;
    }
    return status;
}
