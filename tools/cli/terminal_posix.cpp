#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tools/cli/terminal.h"

bool IsEscapeTerminal(std::FILE* out) {
  const char* term = std::getenv("TERM");
  return isatty(fileno(out)) && (term == nullptr || std::string(term) != "dumb");
}

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}
