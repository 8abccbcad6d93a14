#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "xsvf/output_file.h"

namespace {

// Opens with `flags` added to a plain write-only create; the stream owns the
// descriptor.
std::FILE* OpenStream(const std::string& path, int flags) {
  const int descriptor =
      open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | flags, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "wb");
  if (!file) close(descriptor);
  return file;
}

}  // namespace

std::FILE* CreateNoFollow(const std::string& path) {
  return OpenStream(path, O_TRUNC);
}

bool SameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

namespace output_file_platform {

// POSIX files have no text mode: "\n" is the line end.
std::FILE* CreateExclusive(const std::string& path, FileMode) {
  return OpenStream(path, O_EXCL);
}

bool SyncToDisk(std::FILE* file) {
  return fsync(fileno(file)) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

unsigned long ProcessNumber() {
  return static_cast<unsigned long>(getpid());
}

}  // namespace output_file_platform
