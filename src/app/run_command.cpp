#include "app/run_command.h"

#include "app/console.h"
#include "app/output_form.h"
#include "app/text_conversion.h"
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
        const std::string& progId = options.optionMap["progid"];
        if (JsonLines()) {
            ReportError("Invalid ProgID.", NarrowToWide(progId));
        } else {
            WriteLine("ERROR: Invalid ProgID. [", progId, "]");
            WriteLine("");
        }
        return -2;
    }
    if (status == -1) {
        ReportError("Administrator rights are required.");
        if (!JsonLines()) WriteLine("");
        return -1;
    }
    return status;
}
