#pragma once
// update-cli: one update from the command line, for scripted and production-line
// use, on the same engine as the window.

#include <cstdio>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "tools/cli/cli_settings.h"

// Runs update-cli with the arguments after the program name; returns its exit status.
// The ports are the system's serial devices, or the lines that `openLine` gives
// for their paths (a caller that runs update-cli in process against simulated
// devices). The default ports and wait come from `environment` and the settings
// file it leads to; without one, there are none.
int RunUpdateCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err,
                 LineOpener openLine = nullptr, const Environment& environment = nullptr);
