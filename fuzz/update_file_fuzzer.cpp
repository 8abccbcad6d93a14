// The update file on arbitrary bytes, as every front end reads it first and the
// worker afterwards: the header, the read-through of the whole snapshot (the
// checksum trailer and its SHA-256, the record walk, the firmware blocks, the
// XSVF programs as the player reads them, what follows the closing 00), then the
// target records as the worker reads them (id, record header, data bytes, the
// skip over the unread rest), in both format versions, plain and run-length coded.
//
// Besides crashes and undefined behaviour it reports a reader that breaks its own
// bookkeeping: more stored bytes consumed than the record holds, a record that
// goes on after it has ended, a skip that moves backwards, or a read-through that
// passes a file without a record or refuses one without saying why. Memory use is
// bounded by scripts/fuzz's limits: the read-through holds nothing that grows
// with the number of commands.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "engine/update_state.h"
#include "fuzz/fuzz_support.h"

namespace {

// How many data bytes to read before skipping the rest. Odd ids read the record
// to its end, even ids stop early (0x02 after 6 bytes, 0xFE after 762), so that
// both the end of a record and the skip from its middle are reached.
size_t BytesToRead(uint32_t targetId) {
  return (targetId & 1) != 0 ? SIZE_MAX : targetId * 3;
}

void ReadRecordData(UpdateState& state, UpdateFileReader& reader, uint32_t targetId) {
  const size_t wanted = BytesToRead(targetId);
  uint8_t byte = 0;
  for (size_t read = 0; read < wanted && reader.ReadDataByte(&byte); ++read) {
    FuzzCheck(reader.Consumed() <= reader.Length(), "no more stored bytes than the record holds");
  }
  ReportProgress(state, reader);
  if (reader.Ended()) {
    FuzzCheck(reader.Consumed() == reader.Length(), "a record ends at its stated length");
    const size_t position = reader.Position();
    FuzzCheck(!reader.ReadDataByte(&byte), "nothing is read after a record's end");
    FuzzCheck(reader.Position() == position, "an ended record reads no further");
  }
}

// The records after the header, as the worker goes through them.
void ReadRecords(UpdateState& state) {
  UpdateFileReader reader(state.updateFile, state.formatVersion);
  uint32_t targetId = 0;
  for (uint32_t record = 0; record < kMaxTargets; ++record) {
    if (!reader.ReadTargetId(&targetId) || targetId == 0 || !reader.ReadRecordHeader()) return;
    FuzzCheck(reader.Length() >= 1, "a record header with a usable length");
    state.currentTarget.store(record);
    reader.StartRecordData();
    ReadRecordData(state, reader, targetId);
    const size_t before = reader.Position();
    if (!reader.SkipRecordRest()) return;
    FuzzCheck(reader.Position() >= before, "the skip moves forward");
  }
}

void CheckReadThrough(const UpdateState& state) {
  const UpdateFileCheck check = ReadThroughUpdateFile(state.updateFile, "fuzz.upd");
  FuzzCheck(check.header.targets.size() == state.targetCount, "the check reads the same header");
  if (check.good) {
    FuzzCheck(!check.records.empty(), "a file that passes updates some target");
    FuzzCheck(check.checksum == ChecksumState::None || check.checksum == ChecksumState::Verified,
              "a file that passes has no checksum or one that matches");
  } else {
    FuzzCheck(!check.statusLine.empty() && !check.detail.empty(), "a refusal says why");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UpdateState state;
  state.filePath.Set("fuzz.upd");
  std::string message;
  if (LoadFuzzFile(state, data, size, &message)) {
    FuzzCheck(state.targetCount <= kMaxTargets, "no more targets than rows");
    CheckReadThrough(state);
    ReadRecords(state);
  } else {
    FuzzCheck(state.targetCount == 0 && !message.empty(), "a failed header check says why");
  }
  CheckRowProgress(state);
  return 0;
}
