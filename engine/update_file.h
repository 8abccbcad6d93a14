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
// before it existed, or by other writers) and is read as before. Trailer format
// 01 is the only one; a later one keeps the marker and the format field where they
// stand and the trailer's size, so that a reader that does not know it can say so.
//
// The header is read on the front end's thread (ReadUpdateHeader); the records
// and their data afterwards by an UpdateFileReader of the update's own, on the
// worker thread.

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/sha256.h"
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

// The format versions the reader understands, in the order message 107 lists them.
extern const KnownFormat knownFormats[2];

// The entry of knownFormats with exactly this name (case counts), or nullptr.
const KnownFormat* FindKnownFormat(const std::string& name);

// The reader's white space: blank, tab, carriage return, line feed, vertical tab
// and form feed.
bool IsWhiteSpace(int c);

// The value of a hex digit (0-9, A-F, a-f), or -1 for any other character.
int HexDigitValue(int c);

// Longest firmware block payload: the block buffer holds 1000 bytes with its
// 2-byte length field.
constexpr uint32_t kMaxBlockPayload = 998;

// Longest line the reader takes at once; the rest of a longer line is read next.
constexpr size_t kMaxLineLength = 79;

// Hex field of width 1 to 8: white space skipped, then 1 to `width` hex digits.
// False at the end of the file or when no digit follows the white space.
bool ReadHexField(std::FILE* file, int width, uint32_t* value);

// Up to 79 characters, up to and including the first line feed. False only at the
// end of the file with nothing read.
bool ReadLine(std::FILE* file, std::string* line);

// Reads the header from state.updateFile: sets formatVersion, targetCount and
// every listed row's name and headerId (mark emptied). On failure sets targetCount to 0 and
// puts the message for the user into *message: 107 for a version token that is
// not a known name, 104 for anything else, including a count above 10 targets.
bool ReadUpdateHeader(UpdateState& state, std::string* message);

// Reads the target records of a file whose header has been read, from where the
// header check left the file: each record's header, its data byte by byte (digit
// pairs, raw bytes or run-length coded), and the skip past what was not read.
// While a JTAG target plays, it is the XSVF player's byte source.
class UpdateFileReader : public XsvfByteSource {
 public:
  UpdateFileReader(std::FILE* file, int32_t formatVersion)
      : file(file), formatVersion(formatVersion) {}

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

  // Moves the file past the unread rest of the current record. False if the file
  // position cannot be moved.
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

 private:
  bool ReadPlainByte(uint8_t* byte);
  bool ReadRunLengthByte(uint8_t* byte);
  bool DecodeNextRun();

  std::FILE* file;
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
