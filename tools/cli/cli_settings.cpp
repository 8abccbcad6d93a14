#include "tools/cli/cli_settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/messages.h"
#include "xsvf/shown_text.h"

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "a,b, c" as its parts, blanks around them dropped; empty parts too.
std::vector<std::string> CommaSeparated(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string part = Trimmed(text.substr(start, comma - start));
    if (!part.empty()) parts.push_back(part);
    start = comma + 1;
  }
  return parts;
}

// One line of the file: false with *error when it is no setting that we know.
bool ReadSettingLine(const std::string& line, const std::string& path, unsigned number,
                     CliDefaults* defaults, std::string* error) {
  const std::string text = Trimmed(line);
  if (text.empty() || text[0] == '#') return true;
  const size_t equals = text.find('=');
  const std::string shownPath = TerminalText(path);
  if (equals == std::string::npos) {
    *error = FormatMessageText(MsgSettingsNotASetting, shownPath.c_str(), number);
    return false;
  }
  const std::string name = Trimmed(text.substr(0, equals));
  const std::string value = Trimmed(text.substr(equals + 1));
  if (name != "port" && name != "wait") {
    *error = FormatMessageText(MsgSettingsUnknown, shownPath.c_str(), number,
                               TerminalText(name).c_str());
    return false;
  }
  if (value.empty()) {
    *error = FormatMessageText(MsgSettingsNoValue, shownPath.c_str(), number, name.c_str());
    return false;
  }
  const Setting setting{value, path + ":" + std::to_string(number)};
  if (name == "port") {
    defaults->ports.push_back(setting);
  } else if (!defaults->wait.value.empty()) {
    *error = FormatMessageText(MsgSettingsWaitTwice, shownPath.c_str(), number);
    return false;
  } else {
    defaults->wait = setting;
  }
  return true;
}

// The file's text, at most kMaxSettingsBytes of it. False with *error when it is
// there but cannot be read whole; true with *exists false when it is not there.
bool ReadSettingsFile(const std::string& path, std::string* text, bool* exists,
                      std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  *exists = file != nullptr || errno != ENOENT;
  if (file == nullptr) {
    if (*exists) {
      *error = FormatMessageText(MsgSettingsUnreadable, TerminalText(path).c_str(),
                                 std::strerror(errno));
    }
    return !*exists;
  }
  char piece[4096];
  size_t count = 0;
  while ((count = std::fread(piece, 1, sizeof piece, file)) > 0 &&
         text->size() <= kMaxSettingsBytes) {
    text->append(piece, count);
  }
  const int reason = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (reason != 0) {
    *error = FormatMessageText(MsgSettingsUnreadable, TerminalText(path).c_str(),
                               std::strerror(reason));
    return false;
  }
  if (text->size() > kMaxSettingsBytes) {
    *error = FormatMessageText(MsgSettingsTooLarge, TerminalText(path).c_str(),
                               static_cast<unsigned>(kMaxSettingsBytes));
    return false;
  }
  return true;
}

}  // namespace

bool ReadSettingsText(const std::string& text, const std::string& path, CliDefaults* defaults,
                      std::string* error) {
  unsigned number = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    if (!ReadSettingLine(text.substr(start, end - start), path, ++number, defaults, error)) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

bool LoadCliDefaults(const Environment& environment, CliDefaults* defaults, std::string* error) {
  *defaults = CliDefaults();
  const std::string path = SettingsPath(environment);
  if (!path.empty()) {
    std::string text;
    bool exists = false;
    if (!ReadSettingsFile(path, &text, &exists, error)) return false;
    if (exists && !ReadSettingsText(text, path, defaults, error)) return false;
  }
  // The environment goes over the file, setting by setting.
  const char* ports = environment(kPortVariable);
  if (ports != nullptr && *ports != '\0') {
    defaults->ports.clear();
    for (const std::string& port : CommaSeparated(ports)) {
      defaults->ports.push_back({port, kPortVariable});
    }
  }
  const char* wait = environment(kWaitVariable);
  if (wait != nullptr && *wait != '\0') defaults->wait = {wait, kWaitVariable};
  return true;
}
