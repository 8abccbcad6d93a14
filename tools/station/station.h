#pragma once
// update-station: the production line of update-cli --repeat, shown live on a
// page in the browser (station_server.h) and controlled from it.

#include <cstdio>
#include <string>
#include <vector>

#include "link/serial_port.h"

// Runs update-station with the arguments after the program name; returns its
// exit status (update-cli's). `openLine` as for RunUpdateCli.
int RunUpdateStation(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err,
                     LineOpener openLine = nullptr);
