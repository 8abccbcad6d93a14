// The command lines of update-cli and update-station with any arguments (the
// input split at its NUL bytes): each is taken, or refused with a reason that
// the usage error shows on one line, whatever the arguments hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/cli/cli_options.h"
#include "tools/common/command_line.h"
#include "tools/station/station_options.h"

namespace {

// More than any option table needs to reach every rule, few enough to stay fast.
constexpr size_t kMostArguments = 64;

std::vector<std::string> ArgumentsOf(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments(1);
  for (size_t i = 0; i < size && arguments.size() <= kMostArguments; ++i) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  return arguments;
}

// What ReportUsageError writes for the reason: the reason's line, then how to
// get help.
std::string UsageErrorShown(const std::string& reason) {
  char* buffer = nullptr;
  size_t length = 0;
  std::FILE* err = open_memstream(&buffer, &length);
  if (err == nullptr) std::abort();
  ReportUsageError(err, "prog", reason);
  std::fclose(err);
  std::string shown(buffer, length);
  std::free(buffer);
  return shown;
}

void CheckRefusal(const std::string& reason) {
  FuzzCheck(!reason.empty(), "a refused command line says why");
  const std::string shown = UsageErrorShown(reason);
  size_t lineEnds = 0;
  for (char c : shown) lineEnds += c == '\n' ? 1 : 0;
  FuzzCheck(lineEnds == 2 && shown.rfind("prog: ", 0) == 0,
            "a usage error is its reason's line and the line that says how to get help");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> arguments = ArgumentsOf(data, size);
  std::string error;

  CliOptions cli;
  if (!ParseCliOptions(arguments, CliDefaults(), &cli, &error)) {
    CheckRefusal(error);
  } else if (cli.mode == CliMode::Update) {
    FuzzCheck(!cli.file.empty() && !cli.ports.empty(), "an update has a file and a port");
  }

  error.clear();
  StationOptions station;
  if (!ParseStationOptions(arguments, &station, &error)) {
    CheckRefusal(error);
  } else if (!station.help && !station.version) {
    FuzzCheck(!station.file.empty() && !station.ports.empty(), "a line has a file and a port");
  }
  return 0;
}
