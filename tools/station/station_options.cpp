#include "tools/station/station_options.h"

#include <algorithm>
#include <cstdlib>

#include "tools/cli/port_update.h"
#include "tools/cli/trusted_keys.h"
#include "tools/common/command_line.h"

namespace {

const std::vector<OptionSpec> kOptions = {
    kHelpOption,
    kVersionOption,
    {'p', "port", "PORT", nullptr, 0, true},
    {'f', "file", "FILE"},
    {0, "listen", "ADDR:PORT"},
    {0, "allow-control", nullptr},
    {0, "log", "FILE"},
    {0, "debug-log", "PATH"},
    {0, "one-step-frames", nullptr},
};

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

bool TakePorts(const CommandLine& line, StationOptions* options, std::string* error) {
  for (const std::string& text : line.Values("port")) {
    const StationPort port = ParseStationPort(text);
    if (port.path.empty() || port.label.empty()) {
      return Fail(error, "--port needs [LABEL=]PORT, not '" + text + "'");
    }
    for (const StationPort& other : options->ports) {
      if (other.path == port.path) return Fail(error, "port " + port.path + " is given twice");
      if (other.label == port.label) return Fail(error, "label " + port.label + " is given twice");
    }
    options->ports.push_back(port);
  }
  if (options->ports.empty()) return Fail(error, "the station needs --port PORT and --file FILE");
  if (options->ports.size() > kMaxPorts) {
    return Fail(error, "at most " + std::to_string(kMaxPorts) + " ports at once");
  }
  return true;
}

}  // namespace

bool ListenAddress::Loopback() const {
  return host == "localhost" || host.rfind("127.", 0) == 0;
}

std::string ListenAddress::Text() const {
  return host + ":" + std::to_string(port);
}

bool ParseListenAddress(const std::string& text, ListenAddress* address) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = text.substr(0, colon);
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const long port = std::strtol(digits.c_str(), nullptr, 10);
  if (port < 1 || port > 65535) return false;
  if (host.find_first_of(" /\\[]") != std::string::npos) return false;
  if (!host.empty()) address->host = host;
  address->port = static_cast<uint16_t>(port);
  return true;
}

StationPort ParseStationPort(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals != std::string::npos && text.find_first_of("/\\") > equals) {
    return {text.substr(0, equals), text.substr(equals + 1)};
  }
  return {PortLabel(text), text};
}

bool ParseStationOptions(const std::vector<std::string>& arguments, StationOptions* options,
                         std::string* error) {
  *options = StationOptions();
  CommandLine line;
  if (!ParseCommandLine(arguments, kOptions, &line, error)) return false;
  options->help = line.Has("help");
  options->version = line.Has("version");
  if (options->help || options->version) return true;
  if (!line.operands.empty()) return Fail(error, "unexpected argument '" + line.operands[0] + "'");
  if (!line.Has("file")) return Fail(error, "the station needs --file FILE and --port PORT");
  options->file = line.Value("file");
  if (!TakePorts(line, options, error)) return false;
  if (line.Has("listen") && !ParseListenAddress(line.Value("listen"), &options->listen)) {
    return Fail(error, "--listen needs ADDR:PORT (127.0.0.1:8080), not '" + line.Value("listen") + "'");
  }
  options->allowControl = line.Has("allow-control");
  options->logPath = line.Value("log");
  options->debugLogPath = line.Value("debug-log");
  options->oneStepFrames = line.Has("one-step-frames");
  return true;
}

CliOptions LineOptions(const StationOptions& options) {
  CliOptions line;
  line.mode = CliMode::Update;
  line.file = options.file;
  for (const StationPort& port : options.ports) line.ports.push_back(port.path);
  line.repeat = true;
  line.logPath = options.logPath;
  line.debugLogPath = options.debugLogPath;
  line.oneStepFrames = options.oneStepFrames;
  line.openLine = options.openLine;
  // The station trusts the keys update-cli trusts: those of the trusted keys folder.
  line.trustedKeysFolder = DefaultTrustedKeysFolder();
  return line;
}

const char* StationUsage() {
  return "usage: update-station -f FILE.upd -p PORT [-p PORT...] [options]\n"
         "       update-station --help | --version\n"
         "\n"
         "Runs a production line: every port updates one device after another with the\n"
         "targets of FILE.upd, as update-cli --repeat does, and a page in the browser\n"
         "shows the line live: a tile per port, the totals and the last results.\n"
         "\n"
         "  -p, --port PORT     a serial port, LABEL=PATH or PATH: LABEL names its socket\n"
         "                      on the page (default: the last part of PATH); up to 16\n"
         "  -f, --file FILE     the update file to send\n"
         "      --listen ADDR:PORT  where the page is served (default 127.0.0.1:8080)\n"
         "      --allow-control  let the page pause ports and stop the line when it is\n"
         "                      served on an address other than 127.0.0.1\n"
         "      --log FILE      append a JSON line to FILE as each device update starts\n"
         "                      and one as it ends\n"
         "      --debug-log PATH  where the XSVF debug logs go (default xsvf_debug.txt,\n"
         "                      as xsvf_debug-PORT.txt per port)\n"
         "      --one-step-frames  send each JTAG TAP step in a frame of its own\n"
         "  -h, --help          this text\n"
         "      --version       the program's version\n"
         "\n"
         "It runs until Stop is pressed on the page, which lets the running updates\n"
         "finish, or until Ctrl-C, which cancels them as update-cli does.\n"
         "\n"
         "Exit status: as update-cli's: 0 every device updated, 1 some targets failed,\n"
         "2 another error, 3 cancelled, 4 the file, a port or the log could not be used\n"
         "or the address cannot be listened on, 5 the log could not be written, 64 the\n"
         "command line makes no sense.\n";
}
