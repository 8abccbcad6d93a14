#pragma once
// The update file the soak sends again and again: what the simulated device must
// know to play its part, and where in an update faults can strike.

#include <string>
#include <vector>

#include "tools/soak/soak_faults.h"

struct SoakFile {
  std::string path;
  std::vector<std::string> deviceTargets;  // devsim --target values, one per record
  UpdateShape shape;                        // frames and compared shifts still 0
};

// Reads the file's records with the updater's own reader: firmware targets and
// their blocks, JTAG targets (played against the demo chip). False with *error for
// a file that cannot be read, holds no target or a target of another kind.
bool ReadSoakFile(const std::string& path, SoakFile* file, std::string* error);

// Takes the JTAG figures of a clean update from the device's report (key=value
// lines): its frames, its shifts that compare TDO and its waits.
void TakeJtagFigures(const std::string& report, UpdateShape* shape);
