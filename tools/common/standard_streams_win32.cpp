#include <fcntl.h>
#include <io.h>

#include "tools/common/standard_streams.h"

std::FILE* BinaryStandardOutput() {
  // In text mode every byte 0x0A would become 0x0D 0x0A.
  std::fflush(stdout);
  return _setmode(_fileno(stdout), _O_BINARY) == -1 ? nullptr : stdout;
}
