#include <unistd.h>

#include "tools/cli/device_log.h"

bool SyncToDisk(std::FILE* file) {
  return fsync(fileno(file)) == 0;
}
