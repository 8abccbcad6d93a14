#include "app/settings.h"

#include <cctype>
#include <fstream>

namespace {

const char kSettingsFileName[] = "update.cfg";
const char kPortKey[] = "Port=";

// One line without its line end; a line written on another platform may still
// carry the carriage return of a CR LF.
bool ReadLine(std::ifstream& file, std::string* line) {
  if (!std::getline(file, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
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
  if (!ReadLine(file, &firstLine) || !ReadLine(file, &secondLine)) return false;

  const size_t key = secondLine.find(kPortKey);
  if (key == std::string::npos) return false;
  const size_t digit = key + sizeof(kPortKey) - 1;
  if (digit >= secondLine.size() || !std::isdigit(static_cast<unsigned char>(secondLine[digit]))) {
    return false;
  }
  *path = firstLine;
  *portIndex = secondLine[digit] - '0';
  return true;
}

void SaveSettings(const std::string& directory, const std::string& path, int portIndex) {
  std::ofstream file(directory + kSettingsFileName);
  if (file) file << path << "\n" << kPortKey << portIndex << "\n";
}
