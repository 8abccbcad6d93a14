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

#include "engine/update_file.h"
#include "engine/update_signature.h"
#include "engine/update_state.h"
#include "xsvf/xsvf_program.h"

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
  // A record's header has been read. True: its data are read (ReadData); false:
  // they are skipped, as an update skips a target it does not program.
  virtual bool StartRecord(const RecordHeader& header) = 0;
  // Reads the record's decoded data from the reader, as far as it needs. A
  // non-empty result is a fault in them, which ends the walk. The walk reads what
  // is left and makes sure that the data end as their record says.
  virtual std::string ReadData(UpdateFileReader& data) = 0;
  // The record's data have been read to their end, or skipped. Non-empty: a fault.
  virtual std::string EndRecord() = 0;
};

// Reads the records of a snapshot from its header's end to the terminating id
// 00, as an update would. Returns "" or the first fault followed by where it is:
// "FAULT (target N, file offset M)", N counted from 1. *records is the number of
// records read whole, *end the offset just after the closing 00.
std::string WalkRecords(const UpdateFileSnapshot& file, const UpdateFileHeader& header,
                        RecordVisitor& visitor, uint32_t* records, uint64_t* end);

// One record with its decoded data.
struct RecordContents {
  RecordHeader header;
  std::vector<uint8_t> data;
};

// WalkRecords with every record's data (whatever its kind) gathered whole and
// handed to visit, whose non-empty result is a fault that ends the walk. For the
// tools that look into files they made: one record's decoded data are held whole.
std::string ReadRecords(const UpdateFileSnapshot& file, const UpdateFileHeader& header,
                        const std::function<std::string(const RecordContents&)>& visit);

// The checksum trailer as the read-through found it.
enum class ChecksumState {
  None,         // the file has no trailer: nothing but white space after the id 00
  Verified,     // the trailer's digest is the file's
  NotVerified,  // refused: a trailer this updater cannot check; checksumNote says why
  Mismatch,     // refused, the file is damaged: a digest that differs, or a trailer that cannot be read
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
  // Empty when good; else the status line the update would have ended on: MsgBadRecord
  // "Update cancelled - wrong fileformat in FILE." for a fault in the records or a
  // file that cannot be read, MsgFileDamaged "... FILE is damaged ..." for a
  // checksum that does not match.
  std::string statusLine;
  // The header, as read from the snapshot (its targets empty when it could not be).
  UpdateFileHeader header;
  // Empty when good; else what is wrong and where, for update-cli --check (e.g.
  // "block 1 has 999 payload bytes, more than 998 (target 2, file offset 310)",
  // or "the file is damaged: its bytes hash to ..., its checksum trailer says ...").
  std::string detail;
  ChecksumState checksum = ChecksumState::None;
  std::string checksumNote;  // NotVerified: why not
  // Every record read whole, in file order (those before a fault when not good).
  std::vector<RecordSummary> records;
  // The signature, checked once the file has read through (update_signature.h).
  SignatureCheck signature;
};

// The read-through, for every front end, of the snapshot an update will be made
// from, before the device is woken (before the port is even opened):
//
// - Reads the header (a failure is MsgWrongFileformat, MsgFileNotFound or MsgWrongVersion in
//   statusLine and
//   detail alike), the checksum trailer, if the file has one, against a SHA-256
//   of every byte before it, then every record to the terminating id 00, as
//   described at the top of this file, XSVF programs as the player reads them.
// - Refuses a file without a record (it updates nothing), and anything after the
//   id 00 but white space, a trailer this updater can check and a signature
//   block after it (messages 303 to 309 for a block that cannot be taken).
// - Once the file reads through, checks its signature against the trusted keys
//   and applies the rule of update_signature.h: a file it refuses is not good,
//   with the status line 300, 301, 302 or 310.
// - Changes nothing and touches no port: a front end shows detail on the line
//   before statusLine, the status line the update would have ended on.
// - Good also for a file without a trailer (checksum None), which front ends
//   report as not verified.
UpdateFileCheck ReadThroughUpdateFile(const UpdateFileSnapshot& file, const std::string& path,
                                      const TrustedKeys& trusted);

// What a failed check of an XSVF program says: the command, where it stands in
// the program, and the player's own words for the fault ("command #3 (XSTATE) at
// program offset 9: Illegal state specification").
std::string XsvfProgramFault(const XsvfProgramCheck& program);
