#pragma once
// What a terminal shows after a program's output has been written to it: the
// lines of a screen of a given width, with the few escape sequences the
// project's programs use (cursor up, erase the line, erase below), the two a
// forged name would use (clear the screen, cursor home) and the terminal's own
// wrapping of lines longer than the width. For tests of what the user sees.

#include <string>
#include <vector>

class Screen {
 public:
  explicit Screen(size_t columns) : columns(columns) {}

  // Writes output to the screen as a terminal would.
  void Write(const std::string& output);

  // The screen's lines from the first one written, trailing blanks removed.
  std::vector<std::string> Lines() const;

 private:
  void Put(char c);
  void Escape(const std::string& sequence);
  std::string& Row();

  size_t columns;
  std::vector<std::string> rows;
  size_t row = 0;
  size_t column = 0;
  std::string pending;  // an escape sequence not yet complete
};
