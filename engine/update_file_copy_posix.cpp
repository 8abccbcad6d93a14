// The private copy in an unnamed temporary file (tmpfile: created in the system's
// temporary folder and unlinked at once), read with pread so that several
// updates read it at once, each at its own offset.

#include <unistd.h>

#include <cstdio>

#include "engine/update_file_copy.h"

struct UpdateFileCopy::Platform {
  std::FILE* file = nullptr;
};

UpdateFileCopy::UpdateFileCopy() : platform(std::make_unique<Platform>()) {}

UpdateFileCopy::~UpdateFileCopy() {
  if (platform->file != nullptr) std::fclose(platform->file);
}

std::FILE* UpdateFileCopy::BinaryStandardInput() {
  return stdin;  // POSIX streams have no text mode
}

bool UpdateFileCopy::Create() {
  platform->file = std::tmpfile();
  return platform->file != nullptr;
}

bool UpdateFileCopy::Append(const uint8_t* data, size_t count) {
  const int fd = fileno(platform->file);
  while (count > 0) {
    const ssize_t written = ::pwrite(fd, data, count, static_cast<off_t>(size));
    if (written <= 0) return false;
    data += written;
    count -= static_cast<size_t>(written);
    size += static_cast<uint64_t>(written);
  }
  return true;
}

size_t UpdateFileCopy::ReadAt(uint64_t offset, uint8_t* to, size_t count) const {
  if (platform->file == nullptr || offset >= size) return 0;
  if (count > size - offset) count = static_cast<size_t>(size - offset);
  const int fd = fileno(platform->file);
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, to + done, count - done, static_cast<off_t>(offset + done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}
