#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>

namespace {

// One update file per process, refilled for every run.
std::FILE* FuzzFile() {
  static std::FILE* file = std::tmpfile();
  FuzzCheck(file != nullptr, "a temporary file for the update file");
  return file;
}

}  // namespace

UpdateHost QuietHost() {
  UpdateHost host;
  host.comment = [](const std::string&) {};
  host.showMessage = [](const std::string&) {};
  return host;
}

std::FILE* LoadFuzzFile(const uint8_t* data, size_t size) {
  std::FILE* file = FuzzFile();
  std::rewind(file);
  FuzzCheck(ftruncate(fileno(file), 0) == 0, "emptying the update file");
  FuzzCheck(size == 0 || std::fwrite(data, 1, size, file) == size, "writing the update file");
  FuzzCheck(std::fflush(file) == 0, "writing the update file");
  std::rewind(file);
  return file;
}

std::FILE* LoadFuzzFile(const std::vector<uint8_t>& bytes) {
  return LoadFuzzFile(bytes.data(), bytes.size());
}

void FuzzCheck(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

void CheckRowProgress(const UpdateState& state) {
  for (const TargetRow& row : state.rows) {
    const int32_t percent = row.percent.load();
    FuzzCheck(percent >= 0 && percent <= 100, "row progress within 0 to 100");
  }
}
