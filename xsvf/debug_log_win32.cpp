// The debug log's platform part on Windows.

#include "xsvf/debug_log.h"

// In the Windows code page (o umlaut = F6), which the message boxes and the
// console show.
const char* debug_log_platform::OpenFailureFormat() {
  return "Debugdatei %s kann nicht ge\xF6" "ffnet werden !";
}
