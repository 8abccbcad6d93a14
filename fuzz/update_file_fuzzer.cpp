// The update file on arbitrary bytes, as every front end reads it first and the
// worker afterwards: the header, the read-through of the whole snapshot (the
// checksum trailer and its SHA-256, the record walk, the firmware blocks, the
// XSVF programs as the player reads them, what follows the closing 00), then the
// target records as the worker reads them (id, record header, data bytes, the
// skip over the unread rest), in both format versions, plain and run-length coded.
// The signature block is read as every front end reads it, against one trusted
// key (the curve's generator, whose id a seed can name), so that a block that
// names it is checked through the platform's ECDSA.
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
#include "engine/update_signature.h"
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

void CheckReadThrough(const UpdateState& state, const TrustedKeys& trusted) {
  const UpdateFileCheck check = ReadThroughUpdateFile(state.updateFile, "fuzz.upd", trusted);
  FuzzCheck(check.header.targets.size() == state.targetCount, "the check reads the same header");
  if (check.good) {
    FuzzCheck(!check.records.empty(), "a file that passes updates some target");
    FuzzCheck(check.signature.state == SignatureState::Trusted,
              "with a key trusted, a file that passes is signed by it");
    FuzzCheck(check.checksum == ChecksumState::None || check.checksum == ChecksumState::Verified,
              "a file that passes has no checksum or one that matches");
  } else {
    FuzzCheck(!check.statusLine.empty() && !check.detail.empty(), "a refusal says why");
  }
}

// The generator of P-256 as a public key: a point on the curve that the
// platform takes.
TrustedKeys GeneratorTrusted() {
  const EcPoint generator = {
      0x04, 0x6B, 0x17, 0xD1, 0xF2, 0xE1, 0x2C, 0x42, 0x47, 0xF8, 0xBC, 0xE6, 0xE5, 0x63,
      0xA4, 0x40, 0xF2, 0x77, 0x03, 0x7D, 0x81, 0x2D, 0xEB, 0x33, 0xA0, 0xF4, 0xA1, 0x39,
      0x45, 0xD8, 0x98, 0xC2, 0x96, 0x4F, 0xE3, 0x42, 0xE2, 0xFE, 0x1A, 0x7F, 0x9B, 0x8E,
      0xE7, 0xEB, 0x4A, 0x7C, 0x0F, 0x9E, 0x16, 0x2B, 0xCE, 0x33, 0x57, 0x6B, 0x31, 0x5E,
      0xCE, 0xCB, 0xB6, 0x40, 0x68, 0x37, 0xBF, 0x51, 0xF5};
  TrustedKeys trusted;
  trusted.keys.push_back(TrustedKey{"generator.pem", generator, KeyIdOf(generator)});
  return trusted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UpdateState state;
  state.filePath.Set("fuzz.upd");
  std::string message;
  if (LoadFuzzFile(state, data, size, &message)) {
    FuzzCheck(state.targetCount <= kMaxTargets, "no more targets than rows");
    CheckReadThrough(state, GeneratorTrusted());
    ReadRecords(state);
  } else {
    FuzzCheck(state.targetCount == 0 && !message.empty(), "a failed header check says why");
  }
  CheckRowProgress(state);
  return 0;
}
