#pragma once
// What a bench sets once for update-cli: the default port(s) and --wait, from
// the environment and from a settings file. The command line goes over the
// environment, which goes over the file, one setting at a time.
//
// The settings file is text, one setting per line; blank lines and lines whose
// first non-blank character is '#' are passed over:
//
//   # the test bench at the window
//   port = /dev/ttyUSB0
//   port = /dev/ttyUSB1
//   wait = 30
//
// `port` may be given up to 16 times, `wait` once. The environment's
// UPDATE_CLI_PORT holds one port or several separated by commas,
// UPDATE_CLI_WAIT the seconds. The file lives where settingsPath() says
// (cli_settings_posix.cpp, cli_settings_win32.cpp); UPDATE_CLI_SETTINGS names
// another one. A file that is not there is no error; one that is there must be
// read whole and make sense.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Environment variables: where the defaults come from besides the file.
constexpr const char* kPortVariable = "UPDATE_CLI_PORT";
constexpr const char* kWaitVariable = "UPDATE_CLI_WAIT";
constexpr const char* kSettingsVariable = "UPDATE_CLI_SETTINGS";

// A settings file larger than this is no settings file.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

// A default and where it came from ("UPDATE_CLI_WAIT", "FILE:LINE"), for the
// message when it does not make sense.
struct Setting {
  std::string value;
  std::string source;
};

struct CliDefaults {
  std::vector<Setting> ports;
  Setting wait;  // empty value: none
};

// Reads the settings file's text; `path` names it in the messages. False with
// *error ("PATH:LINE: ...") for a line that makes no sense.
bool ReadSettingsText(const std::string& text, const std::string& path, CliDefaults* defaults,
                      std::string* error);

// How update-cli looks at its environment: the variable's value, or nullptr.
using Environment = std::function<const char*(const char* name)>;

// The defaults as the environment and the settings file give them. False with
// *error when the file is there but cannot be read or makes no sense.
bool LoadCliDefaults(const Environment& environment, CliDefaults* defaults, std::string* error);

// Where the settings file is looked for: UPDATE_CLI_SETTINGS if set, else the
// platform's place for a user's settings; empty when there is none.
std::string SettingsPath(const Environment& environment);
