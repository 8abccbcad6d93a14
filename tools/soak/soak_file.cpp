#include "tools/soak/soak_file.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "engine/update_file.h"
#include "engine/update_session.h"
#include "engine/update_state.h"

namespace {

std::string HexId(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", id);
  return text;
}

// Reads a firmware record's blocks (a 2-byte length, then the payload) to its end.
bool CountBlocks(uint32_t* blocks) {
  *blocks = 0;
  uint8_t high = 0;
  uint8_t low = 0;
  uint8_t payload = 0;
  while (ReadDataByte(&high)) {
    if (!ReadDataByte(&low)) return false;
    for (uint32_t left = uint32_t{high} << 8 | low; left > 0; --left) {
      if (!ReadDataByte(&payload)) return false;
    }
    ++*blocks;
  }
  return g_pUpdateState->targetEnded != 0;
}

bool DescribeRecord(UpdateState& state, uint32_t id, SoakFile* file, std::string* error) {
  StartRecordData(state);
  ++file->shape.targets;
  if (state.targetKind == KindXsvf) {
    file->shape.hasJtag = true;
    file->deviceTargets.push_back(HexId(id) + ":jtag:demo");
    return true;
  }
  uint32_t blocks = 0;
  if (state.targetKind != KindFirmware || !CountBlocks(&blocks)) {
    *error = "target " + HexId(id) + " is neither well-formed firmware nor a JTAG program";
    return false;
  }
  file->shape.firmwareBlocks.push_back(blocks);
  file->deviceTargets.push_back(HexId(id) + ":firmware");
  return true;
}

bool ReadRecords(UpdateState& state, SoakFile* file, std::string* error) {
  uint32_t id = 0;
  for (;;) {
    if (!ReadTargetId(state, &id)) break;
    if (id == 0 && file->shape.targets == 0) {
      *error = "no target to update";
      return false;
    }
    if (id == 0) return true;
    if (!ReadRecordHeader(state) || !DescribeRecord(state, id, file, error)) return false;
    if (!SkipRecordRest(state)) break;
  }
  *error = "malformed target record";
  return false;
}

}  // namespace

bool ReadSoakFile(const std::string& path, SoakFile* file, std::string* error) {
  UpdateState state;
  state.filePath.Set(path);
  *file = SoakFile{};
  file->path = path;
  bool ok = OpenUpdateFile(state, error);
  if (ok) {
    g_pUpdateState = &state;
    ok = ReadRecords(state, file, error);
    g_pUpdateState = nullptr;
  }
  CloseUpdateResources(state);
  if (!ok) *error = path + ": " + *error;
  return ok;
}

void TakeJtagFigures(const std::string& report, UpdateShape* shape) {
  const std::string comparedSuffix = "_compared_shifts";
  std::istringstream lines(report);
  std::string line;
  shape->frames = 0;
  shape->comparedShifts = 0;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const uint32_t value = static_cast<uint32_t>(std::stoul(line.substr(equals + 1)));
    if (key == "frames") shape->frames = value;
    const size_t suffixAt = key.size() - std::min(key.size(), comparedSuffix.size());
    if (suffixAt > 0 && key.compare(suffixAt, std::string::npos, comparedSuffix) == 0) {
      shape->comparedShifts += value;
    }
  }
}
