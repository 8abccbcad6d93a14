#include "tools/cli/update_cli.h"

#include <algorithm>
#include <utility>

#include "tools/cli/cli_options.h"
#include "tools/cli/file_check.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/serial_ports.h"
#include "tools/cli/update_command.h"
#include "tools/common/command_line.h"
#include "tools/common/program_version.h"

namespace {

int RunMode(const CliOptions& options, std::FILE* out, std::FILE* err) {
  switch (options.mode) {
    case CliMode::Update:
      return RunUpdateCommand(options, out, err);
    case CliMode::List:
      return RunListCommand(options, out, err);
    case CliMode::Check:
      return RunCheckCommand(options, out, err);
    case CliMode::Ports:
      return RunPortsCommand(out, options.json);
    case CliMode::Version:
      PrintVersion(out, "update-cli", ProgramVersion());
      return ExitAllUpdated;
    case CliMode::Help:
      break;
  }
  std::fputs(CliUsage(), out);
  return ExitAllUpdated;
}

}  // namespace

int RunUpdateCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err,
                 LineOpener openLine, const Environment& environment) {
  // A settings file that makes no sense stops an update only: --help, --list and
  // the like work whatever it holds.
  CliDefaults defaults;
  std::string settingsError;
  if (environment && !LoadCliDefaults(environment, &defaults, &settingsError)) {
    defaults = CliDefaults();
  }
  CliOptions options;
  std::string error;
  ParseCliOptions(arguments, defaults, &options, &error);
  // An update stopped by the settings file says so, not what the defaults lacked.
  if (options.mode == CliMode::Update && !settingsError.empty()) error = settingsError;
  if (!error.empty()) {
    // A script that asked for JSON gets the result object it waits for.
    if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end()) {
      DeviceResult result;
      result.statusLine = "update-cli: " + error;
      result.exitStatus = kExitUsage;
      PrintJsonResult(out, result);
    }
    return ReportUsageError(err, "update-cli", error);
  }
  options.openLine = std::move(openLine);
  // An update goes on when its output cannot be written (a closed pipe); the
  // exit status says so at the end.
  return StatusAfterOutput(out, err, "update-cli", RunMode(options, out, err), ExitOtherError);
}
