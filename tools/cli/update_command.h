#pragma once
// update-cli's commands: one update, the header listing, the whole-file check and
// the port listing. Each returns the program's exit status.

#include <cstdio>
#include <string>

#include "engine/update_state.h"
#include "tools/cli/cli_options.h"

// Exit statuses of update-cli.
enum CliExit : int {
  ExitAllUpdated = 0,
  ExitSomeFailed = 1,
  ExitOtherError = 2,
  ExitCancelled = 3,
  ExitUnusable = 4,  // the file or the port could not be used
};

// Opens the update file at path and checks its header; on failure says why on
// err and closes it again.
bool OpenCheckedFile(UpdateState& state, const std::string& path, std::FILE* err);

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err);
int RunListCommand(const CliOptions& options, std::FILE* out, std::FILE* err);
int RunPortsCommand(std::FILE* out);
