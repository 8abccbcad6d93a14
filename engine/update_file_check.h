#pragma once
// The read-through: a whole update file read as an update would read it, without
// a device, so that a bad or damaged file is turned away before the first byte
// goes to the device. It checks the checksum trailer (update_file.h) when the file
// has one, then every record: its header, its data as the reader decodes them
// (digit pairs, raw bytes, run-length coding), and their contents: firmware
// blocks of a 2-byte length (at most 998) and their payload that end exactly with
// the record, and XSVF programs that parse to XCOMPLETE. Records of a kind the
// updater does not handle are skipped, as an update skips them. A file with fewer
// records than its header names is taken for one cut short (a cut right after the
// first digit of a target id reads as the closing 00), although an update would
// run its records; more records than names are let pass, as an update does.
//
// Also the record walk it is built on, for the tools that look into files (mkupd
// reads back every file it writes with it).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/update_state.h"

// A target record's header, as the reader reads it.
struct RecordHeader {
  uint32_t index = 0;        // position among the records, from 0
  uint32_t id = 0;           // the id the device knows the target by
  std::string name;          // the header's name for this position ("" beyond it)
  int32_t kind = 0;          // KindFirmware, KindXsvf or another value
  int32_t flags = 0;
  int32_t storedLength = 0;  // the record's length field
  bool RunLengthCoded() const { return (flags & 1) != 0; }
};

// What a walk over the records hands each record to.
class RecordVisitor {
 public:
  virtual ~RecordVisitor() = default;
  // A record's header has been read. True: its data are read and handed on;
  // false: they are skipped, as an update skips a target it does not program.
  virtual bool StartRecord(const RecordHeader& header) = 0;
  // The next decoded bytes of the record's data, in order. A non-empty result is
  // a fault in them, which ends the walk.
  virtual std::string RecordData(const uint8_t* bytes, size_t count) = 0;
  // The record's data have been read to their end, or skipped. Non-empty: a fault.
  virtual std::string EndRecord() = 0;
};

// Reads the records of state.updateFile from where the file stands (just after the
// header) to the terminating id 00, as an update would. Returns "" or the first
// fault followed by where it is: "FAULT (target N, file offset M)", N counted from
// 1. *records is the number of records read whole. Reads state.updateFile,
// formatVersion and the rows' names; changes nothing in the state but the file's
// position.
std::string WalkRecords(UpdateState& state, RecordVisitor& visitor, uint32_t* records);

// One record with its decoded data.
struct RecordContents {
  RecordHeader header;
  std::vector<uint8_t> data;
};

// WalkRecords with every record's data (whatever its kind) gathered whole and
// handed to visit, whose non-empty result is a fault that ends the walk.
std::string ReadRecords(UpdateState& state,
                        const std::function<std::string(const RecordContents&)>& visit);

// The checksum trailer as the read-through found it.
enum class ChecksumState {
  None,         // the file has no trailer
  Verified,     // the trailer's digest is the file's
  NotVerified,  // a trailer that cannot be checked here; checksumNote says why
  Mismatch,     // the file is damaged: a digest that differs, or a trailer that cannot be read
};

// What the read-through found in one record.
struct RecordSummary {
  RecordHeader header;
  bool skipped = false;           // of a kind an update skips: its data were not read
  uint32_t blocks = 0;            // firmware: blocks and their payload bytes
  uint64_t payloadBytes = 0;
  size_t commands = 0;            // XSVF: commands up to XCOMPLETE, and bytes after it
  size_t bytesAfterComplete = 0;
};

struct UpdateFileCheck {
  bool good = false;
  // Empty when good; else the status line the update would have ended on: message
  // 112 "Update cancelled - wrong fileformat in FILE." for a fault in the records
  // or a file that cannot be read, message 134 "... FILE is damaged ..." for a
  // checksum that does not match.
  std::string statusLine;
  // Empty when good; else what is wrong and where, for update-cli --check (e.g.
  // "block 1 has 999 payload bytes, more than 998 (target 2, file offset 310)",
  // or "the file is damaged: its bytes hash to ..., its checksum trailer says ...").
  std::string detail;
  ChecksumState checksum = ChecksumState::None;
  std::string checksumNote;  // NotVerified: why not
  // Every record read whole, in file order (those before a fault when not good).
  std::vector<RecordSummary> records;
};

// The read-through, for every front end, after OpenUpdateFile has succeeded and
// before the device is woken (before the port is even opened):
//
// - Expects state.updateFile open just after the header, with formatVersion,
//   targetCount, the rows' names and filePath set, as OpenUpdateFile leaves them.
// - Reads the whole file: first the checksum trailer, if the file has one, against
//   a SHA-256 of every byte before it (streamed, never held whole); then every
//   record to the terminating id 00, as described at the top of this file.
// - Leaves the file just after the header again, where the worker starts, whatever
//   it found; if the position cannot be restored the result is not good (112).
// - Writes nothing else: not the status line, the rows or runState; it touches no
//   port. A front end shows statusLine as an update's last line (the window in its
//   warning box), and update-cli --check shows detail.
// - Good also for a file without a trailer, or with one it cannot check (see
//   checksum and checksumNote).
UpdateFileCheck ReadThroughUpdateFile(UpdateState& state);
