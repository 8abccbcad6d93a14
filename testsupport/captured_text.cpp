#include "testsupport/captured_text.h"

#include <sstream>

std::string ContentsAndClose(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char piece[4096];
  size_t count = 0;
  while ((count = std::fread(piece, 1, sizeof piece, file)) > 0) text.append(piece, count);
  std::fclose(file);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}
