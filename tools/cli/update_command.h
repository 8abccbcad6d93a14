#pragma once
// update-cli's update command. It returns the program's exit status.

#include <cstdio>
#include <string>

#include "engine/update_state.h"
#include "tools/cli/cli_options.h"

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err);
