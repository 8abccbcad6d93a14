#include <cstdlib>

#include "tools/cli/terminal.h"

bool TakesColour(std::FILE* out) {
  const char* noColour = std::getenv("NO_COLOR");
  return (noColour == nullptr || *noColour == '\0') && IsEscapeTerminal(out);
}
