#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "engine/update_file.h"
#include "engine/update_session.h"

UpdateHost QuietHost() {
  UpdateHost host;
  host.player.comment = [](const std::string&) {};
  host.player.showMessage = [](const std::string&) {};
  return host;
}

bool LoadFuzzFile(UpdateState& state, const uint8_t* data, size_t size, std::string* message) {
  std::shared_ptr<const UpdateFileCopy> copy = UpdateFileCopy::FromBytes(data, size);
  FuzzCheck(copy != nullptr, "a temporary file for the update file");
  UpdateFileHeader header;
  if (!ReadUpdateHeader(*copy, state.filePath.Get(), &header, message)) return false;
  UseUpdateFile(state, {copy, header.recordsStart}, header);
  return true;
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
