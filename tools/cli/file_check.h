#pragma once
// Reads a whole update file as an update would, without a device: every record
// header, the run-length coding, and for --check the firmware block structure and
// the XSVF command stream (parsed, not played). mkupd reads back every file it
// writes with it.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/update_state.h"
#include "tools/cli/cli_options.h"

// One target record as the reader decodes it.
struct RecordContents {
  uint32_t index = 0;         // position in the file, from 0
  uint32_t id = 0;
  std::string name;           // from the header, for reports
  int32_t kind = 0;
  int32_t flags = 0;
  int32_t storedLength = 0;   // the record's length field
  std::vector<uint8_t> data;  // decoded data bytes
};

// Called for each record; a non-empty result is a fault that ends the walk.
using RecordVisitor = std::function<std::string(const RecordContents&)>;

// Reads every record of state.updateFile, whose header has been read, as an update
// would, and hands each one's decoded data to visit. Returns the first fault and
// where it is, or "".
std::string ReadRecords(UpdateState& state, const RecordVisitor& visit);

// Opens the update file at path and checks its header; on failure says why on
// err and closes it again.
bool OpenCheckedFile(UpdateState& state, const std::string& path, std::FILE* err);

// update-cli --check FILE: also checks each record's contents (firmware block
// structure, the XSVF command stream) and prints a summary per target.
int RunCheckCommand(const CliOptions& options, std::FILE* out, std::FILE* err);

// update-cli --list FILE: the header's format version and targets.
int RunListCommand(const CliOptions& options, std::FILE* out, std::FILE* err);
