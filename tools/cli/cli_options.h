#pragma once
// The command line of update-cli.

#include <string>
#include <vector>

// Exit statuses of update-cli.
enum CliExit : int {
  ExitAllUpdated = 0,
  ExitSomeFailed = 1,
  ExitOtherError = 2,
  ExitCancelled = 3,
  ExitUnusable = 4,  // the file or the port could not be used
};

enum class CliMode { Update, List, Check, Ports, Help };

struct CliOptions {
  CliMode mode = CliMode::Help;
  std::string port;      // --port
  std::string file;      // --file, or the file of --list / --check
  bool json = false;     // --json: progress and outcome as JSON lines
  bool yes = false;      // --yes: the first Ctrl-C confirms the cancel
};

// Parses the arguments after the program name. False with *error for a command
// line that does not make sense.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions* options,
                     std::string* error);

// The --help text.
const char* CliUsage();
