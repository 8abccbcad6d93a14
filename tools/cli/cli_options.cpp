#include "tools/cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "tools/cli/trusted_keys.h"
#include "tools/common/command_line.h"
#include "xsvf/shown_text.h"

namespace {

const std::vector<OptionSpec> kOptions = {
    kHelpOption,
    kVersionOption,
    {'p', "port", "PORT", nullptr, 0, true},
    {'f', "file", "FILE"},
    {0, "list", "FILE"},
    {0, "check", "FILE"},
    {0, "ports", nullptr},
    {0, "json", nullptr},
    {'y', "yes", nullptr},
    {'w', "wait", "SECONDS"},
    {0, "repeat", nullptr},
    {0, "log", "FILE"},
    {0, "trace", "FILE"},
    {0, "debug-log", "PATH"},
    {0, "one-step-frames", nullptr},
    {'q', "quiet", nullptr},
    {'v', "verbose", nullptr},
    {0, "no-progress", nullptr},
    {0, "only", "ID[,ID...]"},
    {0, "skip", "ID[,ID...]"},
    {0, "trusted-key", "FILE", nullptr, 0, true},
};

// The options that only an update takes.
const char* const kUpdateOptions[] = {"yes",   "wait",      "repeat",      "log",
                                      "trace", "debug-log", "one-step-frames", "quiet",
                                      "verbose", "no-progress", "only",     "skip"};

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

// --list, --check and --ports each ask for a mode of their own; --port and --file
// together for an update.
bool ChooseMode(const CommandLine& line, CliOptions* options, std::string* error) {
  std::vector<CliMode> modes;
  if (line.Has("list")) modes.push_back(CliMode::List);
  if (line.Has("check")) modes.push_back(CliMode::Check);
  if (line.Has("ports")) modes.push_back(CliMode::Ports);
  if (line.Has("port") || line.Has("file")) modes.push_back(CliMode::Update);
  if (modes.size() > 1) return Fail(error, "choose one of an update, --list, --check and --ports");
  if (modes.empty()) {
    return Fail(error, "nothing to do: give --port PORT and --file FILE for an update, or "
                       "--list FILE, --check FILE or --ports");
  }
  options->mode = modes.front();
  return true;
}

// Longest --wait: about 11.5 days, far beyond any device's switch-on, and a
// number of milliseconds that every clock the wait runs on can hold.
constexpr double kMaxWaitSeconds = 1'000'000;

// `source` names where the value came from: --wait, UPDATE_CLI_WAIT or the
// settings file's line.
bool TakeWait(const std::string& text, const std::string& source, CliOptions* options,
              std::string* error) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > kMaxWaitSeconds) {
    return Fail(error, TerminalText(source) +
                           " needs a number of seconds greater than 0 and at most 1000000, not '" +
                           TerminalText(text) + "'");
  }
  options->waitSeconds = seconds;
  return true;
}

// "01,2f": target ids as --list shows them, one or two hex digits each.
bool TakeTargetIds(const CommandLine& line, CliOptions* options, std::string* error) {
  if (line.Has("only") && line.Has("skip")) return Fail(error, "choose one of --only and --skip");
  if (!line.Has("only") && !line.Has("skip")) return true;
  TargetChoice& choice = options->choice;
  choice.option = line.Has("only") ? "only" : "skip";
  choice.given = line.Value(choice.option.c_str());
  const std::string wrong = "--" + choice.option +
                            " needs target ids in hex separated by commas, such as 01,0A, not '" +
                            TerminalText(choice.given) + "'";
  size_t start = 0;
  while (start <= choice.given.size()) {
    const size_t comma = std::min(choice.given.find(',', start), choice.given.size());
    const std::string id = choice.given.substr(start, comma - start);
    char* end = nullptr;
    const unsigned long value = std::strtoul(id.c_str(), &end, 16);
    const bool hex = !id.empty() && std::isxdigit(static_cast<unsigned char>(id[0])) != 0;
    if (!hex || id.size() > 2 || *end != '\0' || value == 0) {
      return Fail(error, wrong);
    }
    choice.ids.push_back(static_cast<uint32_t>(value));
    start = comma + 1;
  }
  return true;
}

bool TakeVerbosity(const CommandLine& line, CliOptions* options, std::string* error) {
  if (line.Has("quiet") && line.Has("verbose")) {
    return Fail(error, "choose one of --quiet and --verbose");
  }
  if (line.Has("quiet")) options->verbosity = Verbosity::Quiet;
  if (line.Has("verbose")) options->verbosity = Verbosity::Verbose;
  options->progress = !line.Has("no-progress");
  if (options->json && (line.Has("quiet") || line.Has("verbose") || line.Has("no-progress"))) {
    return Fail(error, "--json shows every change: it takes none of --quiet, --verbose and "
                       "--no-progress");
  }
  return true;
}

// The ports of an update: those of the command line, else the defaults.
bool TakePorts(const CommandLine& line, const CliDefaults& defaults, CliOptions* options,
               std::string* error) {
  options->ports = line.Values("port");
  if (options->ports.empty()) {
    for (const Setting& port : defaults.ports) options->ports.push_back(port.value);
  }
  if (options->ports.empty()) {
    return Fail(error, "an update needs --port PORT (or a default port) as well as --file");
  }
  if (options->ports.size() > kMaxPorts) {
    return Fail(error, "at most " + std::to_string(kMaxPorts) + " ports at once");
  }
  for (size_t i = 0; i < options->ports.size(); ++i) {
    const auto later = std::find(options->ports.begin() + static_cast<ptrdiff_t>(i) + 1,
                                 options->ports.end(), options->ports[i]);
    if (later != options->ports.end()) {
      return Fail(error, "port " + TerminalText(options->ports[i]) + " is given twice");
    }
  }
  return true;
}

bool CheckUpdate(const CommandLine& line, const CliDefaults& defaults, CliOptions* options,
                 std::string* error) {
  options->file = line.Value("file");
  if (!line.Has("file")) return Fail(error, "an update needs --file FILE as well as --port");
  if (!TakePorts(line, defaults, options, error)) return false;
  if (!TakeTargetIds(line, options, error) || !TakeVerbosity(line, options, error)) return false;
  options->yes = line.Has("yes");
  options->repeat = line.Has("repeat");
  options->logPath = line.Value("log");
  options->tracePath = line.Value("trace");
  options->debugLogPath = line.Value("debug-log");
  options->oneStepFrames = line.Has("one-step-frames");
  if (line.Has("wait")) return TakeWait(line.Value("wait"), "--wait", options, error);
  return defaults.wait.value.empty() ||
         TakeWait(defaults.wait.value, defaults.wait.source, options, error);
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& arguments, const CliDefaults& defaults,
                     CliOptions* options, std::string* error) {
  *options = CliOptions();
  CommandLine line;
  if (!ParseCommandLine(arguments, kOptions, &line, error)) return false;
  if (line.Has("help")) {
    options->mode = CliMode::Help;
    return true;
  }
  if (line.Has("version")) {
    options->mode = CliMode::Version;
    return true;
  }
  if (!line.operands.empty()) return Fail(error, "unexpected argument '" + line.operands[0] + "'");
  if (!ChooseMode(line, options, error)) return false;
  options->json = line.Has("json");
  options->trustedKeyFiles = line.Values("trusted-key");
  options->trustedKeysFolder = DefaultTrustedKeysFolder();
  if (options->mode == CliMode::Ports && line.Has("trusted-key")) {
    return Fail(error, "--trusted-key goes with an update, --list or --check");
  }
  switch (options->mode) {
    case CliMode::Update:
      return CheckUpdate(line, defaults, options, error);
    case CliMode::List:
    case CliMode::Check:
      options->file = line.Value(options->mode == CliMode::List ? "list" : "check");
      break;
    default:
      break;
  }
  for (const char* name : kUpdateOptions) {
    if (line.Has(name)) return Fail(error, "--" + std::string(name) + " goes with an update only");
  }
  return true;
}

const char* CliUsage() {
  return "usage: update-cli -p PORT [-p PORT...] -f FILE.upd [options]\n"
         "       update-cli --list FILE.upd | --check FILE.upd | --ports   [--json]\n"
         "       update-cli --help | --version\n"
         "\n"
         "Updates the device on PORT with the targets of FILE.upd. Switch the device on\n"
         "(or off and on) once the update has started; progress is shown per target.\n"
         "The file is read through first: a damaged file ends the update before the\n"
         "device is touched.\n"
         "\n"
         "  -p, --port PORT     serial port: a device path (/dev/ttyUSB0) or COMn; give it\n"
         "                      up to 16 times to update as many devices at once\n"
         "  -f, --file FILE     the update file to send; - reads it from standard input\n"
         "      --only ID[,ID...]  update only the targets with these ids, in hex as\n"
         "                      listed; the others are \"not selected\"\n"
         "      --skip ID[,ID...]  update every target but these\n"
         "  -q, --quiet         print only the final status line\n"
         "  -v, --verbose       also print what the file holds and what is sent where\n"
         "      --no-progress   print the targets' outcome and the status line at the\n"
         "                      end, nothing while the update runs\n"
         "      --json          progress and outcome as JSON lines on standard output\n"
         "  -y, --yes           Ctrl-C cancels without asking once the device has answered\n"
         "  -w, --wait SECONDS  give up when the device has not answered within SECONDS\n"
         "                      (more than 0, at most 1000000)\n"
         "      --repeat        production line: after each device, wait for the next one\n"
         "                      on the same port, until Ctrl-C\n"
         "      --log FILE      append a JSON line to FILE as each device update starts\n"
         "                      and one as it ends\n"
         "      --trace FILE    write every byte each way to FILE (FILE-PORT with several\n"
         "                      ports), for a bug report\n"
         "      --debug-log PATH  where the XSVF debug log goes (default xsvf_debug.txt;\n"
         "                      with several ports, xsvf_debug-PORT.txt)\n"
         "      --one-step-frames  send each JTAG TAP step in a frame of its own, for an\n"
         "                      old boot loader that takes one step per frame (slower)\n"
         "      --trusted-key FILE  trust the PEM public key in FILE besides those of the\n"
         "                      trusted keys folder (give it again for more keys); with\n"
         "                      any key trusted, only files signed by one are updated\n"
         "      --list FILE     check the file's header; print its format version and targets\n"
         "      --check FILE    read the whole file as an update would, without a device\n"
         "                      (- for FILE: standard input, read to its end)\n"
         "      --ports         list the serial ports present\n"
         "  -h, --help          this text\n"
         "      --version       the program's version\n"
         "\n"
         "Defaults for an update: without --port, the ports of UPDATE_CLI_PORT (several\n"
         "separated by commas), else the settings file's \"port = PORT\" lines; without\n"
         "--wait, UPDATE_CLI_WAIT, else the file's \"wait = SECONDS\". The settings file\n"
         "is UPDATE_CLI_SETTINGS, else $XDG_CONFIG_HOME/update-cli/settings or\n"
         "~/.config/update-cli/settings (on Windows %APPDATA%\\update-cli\\settings.txt).\n"
         "The command line goes over the environment, the environment over the file.\n"
         "\n"
         "Pass and fail are shown in colour on a terminal, unless NO_COLOR is set or\n"
         "TERM=dumb.\n"
         "\n"
         "Ctrl-C before the device has answered cancels at once; afterwards the first\n"
         "Ctrl-C warns and a second one within 5 seconds cancels.\n"
         "\n"
         "SIGTERM cancels as a confirmed Ctrl-C does. Once a cancel is under way, the\n"
         "third Ctrl-C ends the program without waiting for the device.\n"
         "\n"
         "Trusted keys: every .pem file in the trusted keys folder (trusted-keys beside\n"
         "the program on Windows, /etc/firmware-updater/trusted-keys on Linux), and each\n"
         "--trusted-key. With none, unsigned files update as ever; with any, a file not\n"
         "signed by one of them is refused (exit status 4) before the device is touched.\n"
         "\n"
         "Exit status: 0 every target updated (of those --only or --skip leaves), 1 some\n"
         "targets failed, 2 the update ended on another error (or no device answered\n"
         "within --wait, or the output could not be written), 3 cancelled, 4 the file,\n"
         "the port, the log, the trace or the XSVF debug log could not be used, 5 the log\n"
         "could not be written (the line stopped),\n"
         "64 the command line makes no sense (nor does the settings file or a default, or\n"
         "--only or --skip names a target that the file does not hold). With several\n"
         "ports: the most serious of the ports' statuses.\n";
}
