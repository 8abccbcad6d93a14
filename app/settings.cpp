#include "app/settings.h"

#include <cctype>
#include <fstream>

#include "xsvf/output_file.h"

namespace {

const char kSettingsFileName[] = "update.cfg";
const char kPortKey[] = "Port=";

// One line without its line end; a line written on another platform may still
// carry the carriage return of a CR LF. No line of the file ends in a carriage
// return of its own: a path never does.
bool ReadLine(std::ifstream& file, std::string* line) {
  if (!std::getline(file, *line)) return false;
  while (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// The port entry index of the second line: the digit right after "Port=", or
// 0 (Com1) when there is none.
int PortIndexOf(const std::string& line) {
  const size_t key = line.find(kPortKey);
  if (key == std::string::npos) return 0;
  const size_t digit = key + sizeof(kPortKey) - 1;
  if (digit >= line.size() || !std::isdigit(static_cast<unsigned char>(line[digit]))) return 0;
  return line[digit] - '0';
}

}  // namespace

std::string ExeDirectoryOf(const std::string& path) {
  if (path.size() < 2) return "";
  const size_t lastBackslash = path.find_last_of('\\');
  if (lastBackslash == std::string::npos || lastBackslash == 0) return "";
  return path.substr(0, lastBackslash + 1);
}

bool LoadSettings(const std::string& directory, std::string* path, int* portIndex) {
  std::ifstream file(directory + kSettingsFileName);
  std::string firstLine;
  std::string secondLine;
  if (!ReadLine(file, &firstLine)) return false;
  ReadLine(file, &secondLine);
  *path = firstLine;
  *portIndex = PortIndexOf(secondLine);
  return true;
}

bool SaveSettings(const std::string& directory, const std::string& path, int portIndex) {
  const std::string text = path + "\n" + kPortKey + std::to_string(portIndex) + "\n";
  AtomicFile file(directory + kSettingsFileName);
  return file.Open(FileMode::Text) && file.Write(text.data(), text.size()) && file.Commit();
}
