// The debug log's platform part on POSIX systems.

#include "xsvf/debug_log.h"

// In UTF-8, the character set of the terminal (o umlaut = C3 B6).
const char* debug_log_platform::OpenFailureFormat() {
  return "Debugdatei %s kann nicht ge\xC3\xB6" "ffnet werden !";
}
