#include "tools/cli/cli_options.h"

namespace {

// Takes the value of an option that needs one; false if it is missing.
bool TakeValue(const std::vector<std::string>& arguments, size_t* index, std::string* value) {
  if (*index + 1 >= arguments.size()) return false;
  *value = arguments[++*index];
  return true;
}

// --file, --list and --check name an update file; each asks for its own mode.
bool IsFileOption(const std::string& argument, CliMode* mode) {
  if (argument == "--file") {
    *mode = CliMode::Update;
  } else if (argument == "--list") {
    *mode = CliMode::List;
  } else if (argument == "--check") {
    *mode = CliMode::Check;
  } else {
    return false;
  }
  return true;
}

bool SetMode(CliOptions* options, CliMode mode, std::string* error) {
  if (options->mode != CliMode::Help && options->mode != mode) {
    *error = "choose one of --file, --list, --check and --ports";
    return false;
  }
  options->mode = mode;
  return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions* options,
                     std::string* error) {
  *options = CliOptions();
  bool help = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    CliMode fileMode;
    if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--json") {
      options->json = true;
    } else if (argument == "--yes") {
      options->yes = true;
    } else if (argument == "--ports") {
      if (!SetMode(options, CliMode::Ports, error)) return false;
    } else if (argument == "--port") {
      if (!TakeValue(arguments, &i, &options->port)) {
        *error = "--port needs a serial port, e.g. /dev/ttyUSB0 or COM3";
        return false;
      }
    } else if (IsFileOption(argument, &fileMode)) {
      if (!TakeValue(arguments, &i, &options->file)) {
        *error = argument + " needs an update file";
        return false;
      }
      if (!SetMode(options, fileMode, error)) return false;
    } else {
      *error = "unknown argument '" + argument + "'";
      return false;
    }
  }
  if (help) {
    options->mode = CliMode::Help;
    return true;
  }
  if (options->mode == CliMode::Update && options->port.empty()) {
    *error = "an update needs --port PORT as well as --file FILE";
    return false;
  }
  return true;
}

const char* CliUsage() {
  return "usage: update-cli --port PORT --file FILE.upd [--json] [--yes]\n"
         "       update-cli --list FILE.upd | --check FILE.upd | --ports | --help\n"
         "\n"
         "Updates the device on PORT with the targets of FILE.upd. Switch the device on\n"
         "(or off and on) once the update has started; progress is shown per target.\n"
         "\n"
         "  --port PORT   serial port: a device path (/dev/ttyUSB0, /dev/ttyACM0) or COMn\n"
         "  --file FILE   the update file to send\n"
         "  --json        progress and outcome as JSON lines on standard output\n"
         "  --yes         Ctrl-C cancels without asking once the device has answered\n"
         "  --list FILE   check the file's header; print its format version and targets\n"
         "  --check FILE  read the whole file as an update would, without a device\n"
         "  --ports       list the serial ports present\n"
         "\n"
         "Ctrl-C before the device has answered cancels at once; afterwards the first\n"
         "Ctrl-C warns and a second one within 5 seconds cancels.\n"
         "\n"
         "Exit status: 0 every target updated, 1 some targets failed, 2 the update ended\n"
         "on another error, 3 cancelled, 4 the file or the port could not be used.\n";
}
