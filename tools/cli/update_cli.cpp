#include "tools/cli/update_cli.h"

#include "tools/cli/cli_options.h"
#include "tools/cli/file_check.h"
#include "tools/cli/serial_ports.h"
#include "tools/cli/update_command.h"

int RunUpdateCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(arguments, &options, &error)) {
    std::fprintf(err, "update-cli: %s\n\n%s", error.c_str(), CliUsage());
    return ExitUnusable;
  }
  switch (options.mode) {
    case CliMode::Update:
      return RunUpdateCommand(options, out, err);
    case CliMode::List:
      return RunListCommand(options, out, err);
    case CliMode::Check:
      return RunCheckCommand(options, out, err);
    case CliMode::Ports:
      return RunPortsCommand(out);
    case CliMode::Help:
      break;
  }
  std::fputs(CliUsage(), out);
  return ExitAllUpdated;
}
