#pragma once
// The command line of update-cli.

#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "tools/cli/cli_settings.h"

// Exit statuses of update-cli. With several ports, the most serious of the
// ports' statuses, 5 above 4 above 3 above 2 above 1.
enum CliExit : int {
  ExitAllUpdated = 0,
  ExitSomeFailed = 1,
  ExitOtherError = 2,
  ExitCancelled = 3,
  ExitUnusable = 4,  // the file, the port, the log or the debug log could not be used
  ExitLogFailed = 5,  // the log could not be written: the line stopped
};

enum class CliMode { Update, List, Check, Ports, Help, Version };

// Most ports one update-cli updates at once.
constexpr size_t kMaxPorts = 16;

// How much an update tells on standard output: only its final status line
// (--quiet), the usual progress and outcome, or besides them what the file holds
// and which of its targets go to the device (--verbose).
enum class Verbosity { Quiet, Normal, Verbose };

// The targets an update programs: every one, only those named (--only), or all
// but those named (--skip). Ids are the records' target ids.
struct TargetChoice {
  std::string option;         // "only" or "skip"; empty: every target
  std::string given;          // the option's value as given
  std::vector<uint32_t> ids;  // in the order given
};

struct CliOptions {
  CliMode mode = CliMode::Help;
  std::vector<std::string> ports;     // --port, each as given
  std::string file;                   // --file, or the file of --list / --check
  bool json = false;                  // --json: progress and outcome as JSON
  bool yes = false;                   // --yes: the first Ctrl-C confirms the cancel
  std::optional<double> waitSeconds;  // --wait: give up waking the device after this
  bool repeat = false;                // --repeat: one device after another on each port
  std::string logPath;                // --log: a JSON line as each device update starts and ends
  std::string tracePath;              // --trace: every byte each way
  std::string debugLogPath;           // --debug-log: where the XSVF debug log goes
  bool oneStepFrames = false;         // --one-step-frames: a 'B' frame per TAP step
  Verbosity verbosity = Verbosity::Normal;  // --quiet, --verbose
  bool progress = true;               // not --no-progress: shown while the update runs
  TargetChoice choice;                // --only, --skip
  std::vector<std::string> trustedKeyFiles;  // --trusted-key, each a PEM public key
  std::string trustedKeysFolder;      // not an option: DefaultTrustedKeysFolder()
  LineOpener openLine;                // not an option: see RunUpdateCli
};

// Parses the arguments after the program name; an update without --port takes
// the default ports, and without --wait the default wait. False with *error for a
// command line (or a default) that does not make sense, which is a usage error
// (kExitUsage).
bool ParseCliOptions(const std::vector<std::string>& arguments, const CliDefaults& defaults,
                     CliOptions* options, std::string* error);

// The --help text.
const char* CliUsage();
