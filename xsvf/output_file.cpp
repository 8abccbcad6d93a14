#include "xsvf/output_file.h"

#include <cstdio>
#include <utility>

namespace {

// Temporary names tried before giving up: a name can be taken only by a file left
// behind by a killed run of the same process number, or by a hostile user.
constexpr int kTemporaryNameAttempts = 100;

}  // namespace

AtomicFile::AtomicFile(std::string path) : path(std::move(path)) {}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Open(FileMode mode) {
  Discard();
  ok = true;
  const std::string stem = path + "." + std::to_string(output_file_platform::ProcessNumber()) + "-";
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !file; ++attempt) {
    temporary = stem + std::to_string(attempt) + ".tmp";
    file = output_file_platform::CreateExclusive(temporary, mode);
  }
  if (!file) temporary.clear();
  return file != nullptr;
}

bool AtomicFile::Write(const void* bytes, size_t count) {
  if (!file) ok = false;
  if (ok && count > 0) ok = std::fwrite(bytes, 1, count, file) == count;
  return ok;
}

bool AtomicFile::Flush() {
  ok = ok && file && std::fflush(file) == 0;
  return ok;
}

bool AtomicFile::Commit() {
  if (!file) return false;
  ok = ok && std::fflush(file) == 0 && output_file_platform::SyncToDisk(file);
  const bool closed = std::fclose(file) == 0;
  file = nullptr;
  if (!ok || !closed || !output_file_platform::RenameOver(temporary, path)) {
    std::remove(temporary.c_str());
    temporary.clear();
    return false;
  }
  temporary.clear();
  return true;
}

void AtomicFile::Discard() {
  if (file) {
    std::fclose(file);
    file = nullptr;
  }
  if (!temporary.empty()) std::remove(temporary.c_str());
  temporary.clear();
}

bool WriteFileAtomically(const std::string& path, const void* bytes, size_t count) {
  AtomicFile file(path);
  return file.Open() && file.Write(bytes, count) && file.Commit();
}
