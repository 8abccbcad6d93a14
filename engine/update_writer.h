#pragma once
// Writer of update files (.upd), the counterpart of the reader in update_file.h,
// for the tools and the tests that build update files.
//
// What it writes always reads back as given: the header line, the target count,
// one name line per target ("%02X" id directly followed by the name, CR LF), then
// the records in the same order, each with its length in exactly eight hex digits
// directly followed by the stored data, the terminating id 00 and, unless asked
// not to, the checksum trailer (update_file.h).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/update_file.h"

// Longest target name: with its id it fits one line of the reader.
constexpr size_t kMaxNameLength = 78;

struct UpdateTarget {
  uint8_t id = 1;                // 0x00 is reserved: it ends the record list
  std::string name;              // written right after the id: a leading blank stays part of it
  uint16_t kind = KindFirmware;  // any value; "V1.00" holds firmware only
  bool runLengthCoded = false;   // "V1.01" only
  std::vector<uint8_t> data;     // decoded data: firmware blocks or an XSVF program
};

// Builds the bytes of an update file of format "V1.00" or "V1.01". False, with the
// reason in *reason, for what the reader could not read back: an unknown format,
// more than 10 targets, id 0x00, a name that is too long, holds a line break or
// ends in white space, a kind or run-length coding that "V1.00" cannot hold, or a
// record whose stored data are empty or longer than 0x7FFFFFFF bytes. The data's
// content (block structure, XSVF commands) is not checked.
//
// The trailer is left out only for files of the kind written before it existed.
// False also if the platform cannot compute the checksum.
enum class Trailer { Checksum, None };
bool BuildUpdateFile(const std::string& format, const std::vector<UpdateTarget>& targets,
                     std::vector<uint8_t>* file, std::string* reason,
                     Trailer trailer = Trailer::Checksum);

// Appends the checksum trailer of the bytes in *file. False if the platform cannot
// compute the checksum.
bool AppendChecksumTrailer(std::vector<uint8_t>* file);


// Cuts a firmware image into blocks of at most `maxPayload` bytes (1 to 998;
// other values are taken as the nearest of those), each behind its 2-byte length,
// high byte first. An empty image gives one empty block.
std::vector<uint8_t> FirmwareBlocks(const std::vector<uint8_t>& image,
                                    size_t maxPayload = kMaxBlockPayload);

// Run-length codes `data`: repeats of 2 to 127 equal bytes as 0x80 + n and the byte,
// everything else as literal runs of 1 to 127 bytes behind their count.
std::vector<uint8_t> RunLengthCode(const std::vector<uint8_t>& data);
