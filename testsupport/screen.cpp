#include "testsupport/screen.h"

#include <cstdlib>

std::string& Screen::Row() {
  if (rows.size() <= row) rows.resize(row + 1);
  std::string& line = rows[row];
  if (line.size() < columns) line.resize(columns, ' ');
  return line;
}

void Screen::Write(const std::string& output) {
  for (char c : output) {
    if (!pending.empty()) {
      pending += c;
      // A control sequence ends with its final byte, a letter.
      if (pending.size() > 2 && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
        Escape(pending);
        pending.clear();
      }
      continue;
    }
    if (c == '\x1b') {
      pending = c;
    } else {
      Put(c);
    }
  }
}

void Screen::Put(char c) {
  switch (c) {
    case '\r':
      column = 0;
      return;
    case '\n':
      ++row;
      return;
    default:
      break;
  }
  // A character past the last column wraps to the next line first.
  if (column == columns) {
    column = 0;
    ++row;
  }
  Row()[column++] = c;
}

void Screen::Escape(const std::string& sequence) {
  const char command = sequence.back();
  const std::string parameter = sequence.substr(2, sequence.size() - 3);
  const size_t count = parameter.empty() ? 1 : std::strtoul(parameter.c_str(), nullptr, 10);
  if (command == 'A') {
    row = count > row ? 0 : row - count;
  } else if (command == 'H') {
    row = 0;
    column = 0;
  } else if (command == 'J' && parameter == "2") {
    rows.assign(rows.size(), std::string());
  } else if (command == 'K' || (command == 'J' && parameter != "2")) {
    std::string& line = Row();
    const size_t from = parameter == "2" ? 0 : column;
    line.replace(from, line.size() - from, line.size() - from, ' ');
    if (command == 'J') rows.resize(row + 1);
  }
}

std::vector<std::string> Screen::Lines() const {
  std::vector<std::string> lines;
  for (std::string line : rows) {
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}
