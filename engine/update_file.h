#pragma once
// Reader of update files (.upd).
//
// The file is read in byte mode. Text fields are hex fields of width w (white
// space skipped, then 1 to w hex digits) and lines of at most 79 characters.
//
//   Firmwareupdate-Fileformat-V1.01 CR LF      header line: marker, version token
//   01 CR LF                                   target count (hex, width 2)
//   01 Main CR LF                              per target: id (hex 2), name line
//   01 0000 FEFF 0000000A<10 data bytes>       record: id (2), flags (4), kind (4),
//                                              length (8), then the data at once
//   CR LF 00 CR LF                             id 00 ends the records
//
// "V1.00" records have no flags and kind (every target is firmware) and store each
// data byte as two hex digits; "V1.01" stores raw bytes, run-length coded when
// flags bit 0 is set: a count byte c >= 0x81 is followed by one byte repeated
// c - 0x80 times, c in 0x01..0x7F by c literal bytes; 0x00 and 0x80 are invalid.
// `length` counts stored bytes (digit pairs, raw bytes or coded bytes).
//
// Firmware data are blocks: a 2-byte payload length L (high byte first, at most
// 998) and L payload bytes. XSVF data are an XSVF program.
//
// Checksum trailer. Readers stop at the terminating id 00, so whatever follows it
// is never read by an update; files written by mkupd (BuildUpdateFile) end in a
// trailer that lets the whole file be checked before anything is sent. It is the
// last 93 bytes of the file, all of them ASCII text:
//
//   offset  size  bytes
//        0    24  marker: Firmwareupdate-Checksum-
//       24     2  trailer format, two hex digits: 01
//       26     1  a blank
//       27    64  SHA-256 of every byte of the file before the trailer (offset 0 up
//                 to the marker's first byte, header and records and the CR LF
//                 after the id 00 included), as 64 hex digits, lower case
//       91     2  CR LF
//
// So `head -c -93 FILE | sha256sum` gives the digest the trailer holds. A file
// whose last 93 bytes do not begin with the marker has no trailer (files written
// before it existed, or by other writers): only white space may then follow the
// id 00, and the file is reported as one without a checksum. Trailer format 01 is
// the only one; a later one keeps the marker and the format field where they
// stand and the trailer's size, so that a reader that does not know it can say so
// and refuse the file: what it cannot verify it does not program.
//
// An update is made from one snapshot of the file (UpdateFileSnapshot): a private
// copy made once (update_file_copy.h), then checked, hashed and programmed from,
// so that a file replaced or overwritten on disk meanwhile changes nothing.
// The header is read on the front end's thread (ReadUpdateHeader); the records
// and their data afterwards by an UpdateFileReader of the update's own, on the
// worker thread.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/sha256.h"
#include "engine/update_file_copy.h"
#include "engine/update_state.h"
#include "xsvf/byte_source.h"

enum TargetKind : int32_t {
  KindFirmware = 0xFEFF,
  KindXsvf = 0xFF00,
  KindSkip = 0xFF01,  // the worker's marker for a target it will not program
};

struct KnownFormat {
  int32_t id;
  const char* name;
};

// The format versions the reader understands, in the order MsgWrongVersion lists them.
extern const KnownFormat knownFormats[2];

// The entry of knownFormats with exactly this name (case counts), or nullptr.
const KnownFormat* FindKnownFormat(const std::string& name);

// The reader's white space: blank, tab, carriage return, line feed, vertical tab
// and form feed.
bool IsWhiteSpace(int c);

// A target id as listings and logs show it: two hex digits, upper case. Ids are
// read as two-digit hex fields, so no id needs more; none is cut to fit.
std::string HexId(uint32_t id);

// Longest firmware block payload: the block buffer holds 1000 bytes with its
// 2-byte length field.
constexpr uint32_t kMaxBlockPayload = 998;

// Longest line the reader takes at once; the rest of a longer line is read next.
constexpr size_t kMaxLineLength = 79;

// A read position in an update file's private copy, read as a stream of
// characters through a buffer of its own.
class FileCursor {
 public:
  FileCursor(const UpdateFileCopy& file, uint64_t position) : file(&file), position(position) {}

  // The next byte, or EOF at the end.
  int Get() {
    if (position - bufferStart >= bufferCount && !Fill()) return EOF;
    return buffer[position++ - bufferStart];
  }
  // Takes back the byte the last Get gave.
  void Unget() { --position; }
  // Moves on by `count` bytes; false (at the end) when fewer are left.
  bool Skip(uint64_t count);
  // Copies the next `count` bytes; false when fewer are left.
  bool Take(uint8_t* to, size_t count);
  uint64_t Position() const { return position; }
  uint64_t Remaining() const { return file->Size() - position; }

 private:
  // Reads the buffer from the position on; false at the end.
  bool Fill();

  const UpdateFileCopy* file;
  uint64_t position;
  uint8_t buffer[4096];
  uint64_t bufferStart = 0;
  size_t bufferCount = 0;
};

// Hex field of width 1 to 8: white space skipped, then 1 to `width` hex digits.
// False at the end of the file or when no digit follows the white space.
bool ReadHexField(FileCursor& file, int width, uint32_t* value);

// Up to 79 characters, up to and including the first line feed. False only at the
// end of the file with nothing read.
bool ReadLine(FileCursor& file, std::string* line);

// What the header of an update file says.
struct UpdateFileHeader {
  struct Target {
    uint32_t id = 0;   // on the name line, for listings
    std::string name;  // trailing white space removed
  };
  int32_t formatVersion = 0;    // index into knownFormats
  std::vector<Target> targets;  // at most kMaxTargets
  uint64_t recordsStart = 0;    // the offset just after the last name line
};

// Reads the header from the start of the file's copy. False with the message for
// the user, `path` named in it: MsgWrongVersion for a version token that is not a
// known name, MsgWrongFileformat for anything else, including a count above 10
// targets.
bool ReadUpdateHeader(const UpdateFileCopy& file, const std::string& path,
                      UpdateFileHeader* header, std::string* message);

// The snapshot an update is made from: a private copy of the file at `path`, and
// its header. False with the message for the user: MsgNoFileSelected for an empty
// path, else
// that of UpdateFileCopy::Make or ReadUpdateHeader.
bool ReadUpdateFileSnapshot(const std::string& path, UpdateFileSnapshot* file,
                            UpdateFileHeader* header, std::string* message);

// Reads the target records of a snapshot, from where its header ends: each record's header, its data byte by byte (digit
// pairs, raw bytes or run-length coded), and the skip past what was not read.
// While a JTAG target plays, it is the XSVF player's byte source.
class UpdateFileReader : public XsvfByteSource {
 public:
  // Holds on to the snapshot's copy while it reads it.
  UpdateFileReader(const UpdateFileSnapshot& snapshot, int32_t formatVersion)
      : copy(snapshot.copy ? snapshot.copy : std::make_shared<const UpdateFileCopy>()),
        file(*copy, snapshot.recordsStart),
        formatVersion(formatVersion) {}

  // Reads the id of the next target record.
  bool ReadTargetId(uint32_t* targetId);

  // Reads the rest of a record header: flags and kind for "V1.01" (0 and
  // KindFirmware for "V1.00"), then the length. False for a field that cannot be
  // read and for a length outside 1 to 0x7FFFFFFF.
  bool ReadRecordHeader();

  // Makes the reader start on the current record's data: nothing consumed yet, no
  // run pending, not at the end.
  void StartRecordData();

  // The next decoded data byte of the current record. False at the record's end,
  // at the end of the file, for a digit pair that cannot be read, for a run of
  // length 0 and for a run that would cross the record's end.
  bool ReadDataByte(uint8_t* byte);
  bool ReadByte(uint8_t* byte) override { return ReadDataByte(byte); }

  // Moves past the unread rest of the current record. False (at the end of the
  // file) when the record's stored bytes run past it.
  bool SkipRecordRest();

  // The current record, as its header says.
  int32_t Flags() const { return targetFlags; }
  int32_t Kind() const { return targetKind; }
  int32_t Length() const { return targetLength; }
  // Stored data bytes of the current record read so far.
  int32_t Consumed() const { return consumed; }
  // The current record's data have been read to their end.
  bool Ended() const { return targetEnded != 0; }
  // How far the current record has been read: consumed * 100 / length.
  int32_t Percent() const;
  // The offset in the file of the next byte to be read.
  uint64_t Position() const { return file.Position(); }

 private:
  bool ReadPlainByte(uint8_t* byte);
  bool ReadRunLengthByte(uint8_t* byte);
  bool DecodeNextRun();

  std::shared_ptr<const UpdateFileCopy> copy;
  FileCursor file;
  int32_t formatVersion;
  int32_t targetFlags = 0;
  int32_t targetKind = 0;
  int32_t targetLength = 0;
  int32_t consumed = 0;
  int32_t runCount = 0;  // decoded bytes still waiting in runBuffer
  uint8_t targetEnded = 0;
  // Decoded bytes of the current run. A run decodes to at most 127 bytes; the
  // buffer is fixed so that reading data never allocates.
  uint8_t runBuffer[256] = {};
  int32_t runPosition = 0;
};

// Sets the current row's percent (and its count of stored bytes read) from how
// far the reader has read the current record, and asks for a refresh.
void ReportProgress(UpdateState& state, const UpdateFileReader& reader);

// The checksum trailer (see the top of this file).
constexpr char kTrailerMarker[] = "Firmwareupdate-Checksum-";
constexpr size_t kTrailerSize = 93;
constexpr unsigned kTrailerFormat = 1;

// The trailer of format 01 for a file whose bytes before it have this digest.
std::string ChecksumTrailer(const Sha256Digest& digest);

// What the last kTrailerSize bytes of a file say.
struct TrailerContents {
  bool present = false;   // they begin with the marker
  unsigned format = 0;    // the trailer format; 0 when its digits cannot be read
  bool readable = false;  // of format 01, with 64 hex digits, a blank and CR LF in place
  Sha256Digest digest{};  // for a readable trailer
};

// Reads the trailer from the last bytes of a file (`count` of them; a file shorter
// than kTrailerSize has no trailer).
TrailerContents ReadChecksumTrailer(const uint8_t* lastBytes, size_t count);

// The SHA-256 of the first `count` bytes of the copy, read in pieces. False if
// they cannot be read or the platform fails.
bool Sha256OfCopy(const UpdateFileCopy& file, uint64_t count, Sha256Digest* digest);
