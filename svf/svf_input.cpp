#include "svf/svf_input.h"

#include <algorithm>
#include <cstring>

int64_t SvfTextInput::ReadAt(uint64_t offset, char* buffer, size_t count) {
  if (offset >= size) return 0;
  const size_t available = std::min(count, size - static_cast<size_t>(offset));
  std::memcpy(buffer, data + offset, available);
  return static_cast<int64_t>(available);
}

bool SvfFileInput::Open(const std::string& path) {
  file.open(path, std::ios::binary);
  return file.is_open();
}

int64_t SvfFileInput::ReadAt(uint64_t offset, char* buffer, size_t count) {
  file.clear();
  file.seekg(static_cast<std::streamoff>(offset));
  if (!file) return -1;
  file.read(buffer, static_cast<std::streamsize>(count));
  if (file.bad()) return -1;
  return static_cast<int64_t>(file.gcount());
}

bool XsvfBytesOutput::Write(const uint8_t* data, size_t count) {
  bytes.insert(bytes.end(), data, data + count);
  return true;
}

bool XsvfFileOutput::Write(const uint8_t* data, size_t count) {
  return file.Write(data, count);
}
