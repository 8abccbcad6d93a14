// The update-file reader on arbitrary files: the header check, then the target
// records as the worker reads them (id, record header, data bytes, the skip over
// the unread rest), in both format versions, plain and run-length coded.
//
// Besides crashes and undefined behaviour it reports a reader that breaks its own
// bookkeeping: more stored bytes consumed than the record holds, a record that
// goes on after it has ended, or a skip that moves backwards.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/update_file.h"
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
    const long position = std::ftell(state.updateFile);
    FuzzCheck(!reader.ReadDataByte(&byte), "nothing is read after a record's end");
    FuzzCheck(std::ftell(state.updateFile) == position, "an ended record reads no further");
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
    const long before = std::ftell(state.updateFile);
    if (!reader.SkipRecordRest()) return;
    FuzzCheck(std::ftell(state.updateFile) >= before, "the skip moves forward");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UpdateState state;
  state.filePath.Set("fuzz.upd");
  state.updateFile = LoadFuzzFile(data, size);
  std::string message;
  if (ReadUpdateHeader(state, &message)) {
    FuzzCheck(state.targetCount <= kMaxTargets, "no more targets than rows");
    ReadRecords(state);
  } else {
    FuzzCheck(state.targetCount == 0 && !message.empty(), "a failed header check says why");
  }
  CheckRowProgress(state);
  state.updateFile = nullptr;  // the file is the process's, reused by the next run
  return 0;
}
