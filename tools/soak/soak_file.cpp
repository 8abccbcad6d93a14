#include "tools/soak/soak_file.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "engine/update_state.h"

namespace {

// The blocks of a firmware record's data (a 2-byte length, then the payload),
// which must end exactly with the data.
bool CountBlocks(const std::vector<uint8_t>& data, uint32_t* blocks) {
  *blocks = 0;
  size_t position = 0;
  while (position < data.size()) {
    if (data.size() - position < 2) return false;
    position += 2 + (size_t{data[position]} << 8 | data[position + 1]);
    ++*blocks;
  }
  return position == data.size();
}

std::string DescribeRecord(const RecordContents& record, SoakFile* file) {
  const std::string id = HexId(record.header.id);
  ++file->shape.targets;
  if (record.header.kind == KindXsvf) {
    file->shape.hasJtag = true;
    file->deviceTargets.push_back(id + ":jtag:demo");
    return "";
  }
  uint32_t blocks = 0;
  if (record.header.kind != KindFirmware || !CountBlocks(record.data, &blocks)) {
    return "target " + id + " is neither well-formed firmware nor a JTAG program";
  }
  file->shape.firmwareBlocks.push_back(blocks);
  file->deviceTargets.push_back(id + ":firmware");
  return "";
}

}  // namespace

bool ReadSoakFile(const std::string& path, SoakFile* file, std::string* error) {
  *file = SoakFile{};
  file->path = path;
  UpdateFileSnapshot snapshot;
  UpdateFileHeader header;
  bool ok = ReadUpdateFileSnapshot(path, &snapshot, &header, error);
  if (ok) {
    *error = ReadRecords(snapshot, header, [file](const RecordContents& record) {
      return DescribeRecord(record, file);
    });
    if (error->empty() && file->shape.targets == 0) *error = "no target to update";
    ok = error->empty();
  }
  if (!ok) *error = path + ": " + *error;
  return ok;
}

void TakeJtagFigures(const std::string& report, UpdateShape* shape) {
  const std::string comparedSuffix = "_compared_shifts";
  std::istringstream lines(report);
  std::string line;
  shape->frames = 0;
  shape->comparedShifts = 0;
  shape->waits = 0;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const uint32_t value = static_cast<uint32_t>(std::stoul(line.substr(equals + 1)));
    if (key == "frames") shape->frames = value;
    if (key == "command_T") shape->waits = value;
    const size_t suffixAt = key.size() - std::min(key.size(), comparedSuffix.size());
    if (suffixAt > 0 && key.compare(suffixAt, std::string::npos, comparedSuffix) == 0) {
      shape->comparedShifts += value;
    }
  }
}
