// The program: banner, command line, one operation, exit status.
#include "app/program.h"

#include "app/command_line.h"
#include "app/console.h"
#include "app/output_form.h"
#include "app/run_command.h"
#include "app/usage.h"
#include "app/version.h"

int RunProgram(int argc, char* argv[]) {
    // JSON Lines (/J) carry no banner, header or usage text.
    UseJsonLines(IsJsonRequested(argv, argc));
    if (!JsonLines()) {
        WriteLine("Talvek COM Surrogate configurator ", "Ver." VANDREL_VERSION_TEXT);
        WriteLine("");
    }
    int status = 0;
    {
        CommandOptions options;
        status = ParseCommandLine(argv, options, argc);
        if (status < 0) {
            if (!JsonLines()) PrintUsage();
        } else {
            status = RunCommand(options);
            // -3 follows a command line that was right: no usage text.
            if ((status == -1 || status == -2) && !JsonLines()) PrintUsage();
        }
    }
    return status;
}
