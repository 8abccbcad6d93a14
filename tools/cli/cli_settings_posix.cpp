// On POSIX systems the settings live where the XDG base directories put a user's
// configuration: $XDG_CONFIG_HOME/update-cli/settings, by default
// ~/.config/update-cli/settings.

#include <string>

#include "tools/cli/cli_settings.h"

std::string SettingsPath(const Environment& environment) {
  const char* named = environment(kSettingsVariable);
  if (named != nullptr && *named != '\0') return named;
  const char* config = environment("XDG_CONFIG_HOME");
  if (config != nullptr && *config == '/') return std::string(config) + "/update-cli/settings";
  const char* home = environment("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/update-cli/settings";
  return "";
}
