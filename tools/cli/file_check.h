#pragma once
// update-cli's commands that look into an update file without a device: --list
// (the header, and the checksum) and --check (the whole file, as the read-through
// before an update reads it: engine/update_file_check.h). With --json each prints
// one JSON document on standard output, errors included.

#include <cstdio>
#include <string>

#include "engine/update_file_check.h"
#include "tools/cli/cli_options.h"

// --check's line for one record: "01 Main board: firmware, 16 blocks, 15800
// payload bytes; 31634 stored bytes".
std::string RecordLine(const RecordSummary& record);

// update-cli --check FILE: the checksum and every record, with a summary per
// target; the first fault and where it is. Exit status 0 or 4.
int RunCheckCommand(const CliOptions& options, std::FILE* out, std::FILE* err);

// update-cli --list FILE: the header's format version and targets (id and name),
// and the checksum. Exit status 0 or 4.
int RunListCommand(const CliOptions& options, std::FILE* out, std::FILE* err);
