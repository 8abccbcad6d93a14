#include "tools/common/standard_streams.h"

std::FILE* BinaryStandardOutput() {
  return stdout;
}
