#include "engine/sha256.h"

#include <cstdio>

std::string Sha256Hex(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

bool Sha256OfFile(const std::string& path, Sha256Digest* digest) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  Sha256 hash;
  uint8_t buffer[64 * 1024];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) hash.Update(buffer, count);
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read && hash.Finish(digest);
}
