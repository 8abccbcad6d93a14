#pragma once
// One update of the soak: a fresh simulated device with the fault, update-cli's
// update command run in this process (a long-lived front end, as the window is,
// so that what one update leaves behind meets the next), and the checks of how
// it ended.
//
// The device runs in this process too, behind the port on a virtual clock, so
// that silence and the host's busy limit cost no real time; or, with realTime,
// as devsim on a pseudo-terminal, where every wait costs its real time and the
// system's serial back end carries the bytes.

#include <string>

#include "tools/soak/soak_faults.h"
#include "tools/soak/soak_file.h"

struct SoakSettings {
  std::string devsim;           // path of devsim
  std::string workDir;          // devsim's log and report; the updater's debug log
  uint32_t switchOnMs = 100;    // the device's switch-on delay
  uint32_t timeoutSeconds = 30; // an update that takes longer has hung
  bool realTime = false;        // devsim on a pseudo-terminal rather than in process
};

struct UpdateOutcome {
  bool asExpected = false;
  std::string problem;     // what was wrong, when not as expected
  int exitStatus = -1;
  std::string statusLine;
  double seconds = 0;
  std::string deviceReport;  // the device's counters (key=value lines)
};

// Runs one update of the file against a device with the fault. An update that
// does not end within the time-out ends the whole process (status 2) after
// saying so with `context`, since its worker thread cannot be stopped.
UpdateOutcome RunSoakUpdate(const SoakSettings& settings, const SoakFile& file,
                            const SoakFault& fault, const std::string& context);

// The status of update-cli's JSON result line in its output; false if there is
// none.
bool ResultStatus(const std::string& jsonLines, std::string* status);
