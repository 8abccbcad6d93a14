// On Windows the settings live in the user's roaming application data:
// %APPDATA%\update-cli\settings.txt.

#include <string>

#include "tools/cli/cli_settings.h"

std::string SettingsPath(const Environment& environment) {
  const char* named = environment(kSettingsVariable);
  if (named != nullptr && *named != '\0') return named;
  const char* appData = environment("APPDATA");
  if (appData == nullptr || *appData == '\0') return "";
  return std::string(appData) + "\\update-cli\\settings.txt";
}
