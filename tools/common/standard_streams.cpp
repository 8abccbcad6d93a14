#include "tools/common/standard_streams.h"

bool WriteToStandardOutput(const void* bytes, size_t count) {
  std::FILE* out = BinaryStandardOutput();
  if (out == nullptr) return false;
  const bool written = count == 0 || std::fwrite(bytes, 1, count, out) == count;
  return std::fflush(out) == 0 && written;
}
