#include <io.h>

#include "tools/cli/device_log.h"

bool SyncToDisk(std::FILE* file) {
  return _commit(_fileno(file)) == 0;
}
