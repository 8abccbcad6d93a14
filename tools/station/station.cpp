#include "tools/station/station.h"

#include <utility>

#include "engine/messages.h"
#include "tools/cli/update_command.h"
#include "tools/common/command_line.h"
#include "tools/common/program_version.h"
#include "tools/station/station_board.h"
#include "tools/station/station_options.h"
#include "tools/station/station_server.h"

namespace {

constexpr const char* kProgram = "update-station";

int RunStation(const StationOptions& options, std::FILE* out, std::FILE* err) {
  const bool control = options.listen.Loopback() || options.allowControl;
  StationAccess access;
  access.listen = options.listen;
  access.control = control;
  access.token = control ? MakeStationToken() : "";
  // A page that sees another id knows the station was started again.
  StationBoard board(options.file, options.ports, control, MakeStationToken().substr(0, 12));
  StationServer server(board, access);
  if (!server.Bind()) {
    std::fprintf(err, "%s\n",
                 FormatMessageText(MsgStationCannotListen, options.listen.Text().c_str()).c_str());
    return ExitUnusable;
  }
  server.Start();
  const std::string address = "http://" + options.listen.Text() + "/";
  std::fprintf(out, "%s\n", FormatMessageText(MsgStationAddress, address.c_str()).c_str());
  std::fflush(out);
  if (!control) std::fprintf(err, "%s\n", MessageText(MsgStationReadOnly));
  const int status = RunUpdateLine(LineOptions(options), board, out, err);
  board.EndRun();
  server.Stop();
  return status;
}

}  // namespace

int RunUpdateStation(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err,
                     LineOpener openLine) {
  StationOptions options;
  std::string error;
  if (!ParseStationOptions(arguments, &options, &error)) return ReportUsageError(err, kProgram, error);
  if (options.help) {
    std::fputs(StationUsage(), out);
    return ExitAllUpdated;
  }
  if (options.version) {
    PrintVersion(out, kProgram, ProgramVersion());
    return ExitAllUpdated;
  }
  options.openLine = std::move(openLine);
  return StatusAfterOutput(out, err, kProgram, RunStation(options, out, err), ExitOtherError);
}
