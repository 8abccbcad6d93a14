#pragma once
// The faults the soak injects into the simulated device, one per update, drawn
// from a seeded generator, each with the outcome the updater must reach: its exit
// status and the status line that says what went wrong.
//
// A fault is only drawn where it strikes: at a firmware block, a JTAG frame or a
// compared shift that the update really has, so that every expectation is tested.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What one update of the soak's file consists of, as far as faults can strike.
struct UpdateShape {
  uint32_t targets = 0;                  // target records, all of them firmware or JTAG
  std::vector<uint32_t> firmwareBlocks;  // blocks of each firmware target, in file order
  bool hasJtag = false;
  uint32_t frames = 0;                   // JTAG command frames of a clean update
  uint32_t comparedShifts = 0;           // of which shifts that compare TDO
  uint32_t waits = 0;                    // of which wait commands ('T')

  uint32_t TotalBlocks() const;
  // Whether block n (from 1, over all firmware targets) is the last of its target.
  bool IsLastBlockOfTarget(uint32_t n) const;
};

// Retries that the sample's JTAG program allows at most for any compared shift;
// its first compared shift runs with none.
constexpr uint32_t kMostShiftRetries = 8;

struct Expectation {
  int exitStatus = 0;
  std::vector<std::string> statusLines;  // any one of them
};

struct SoakFault {
  std::string kind;         // one of FaultKinds()
  std::string deviceFault;  // devsim's --fault value; empty for none
  Expectation expected;
};

using SoakRandom = std::mt19937_64;

// The kinds in the order the summary counts them; "none" first.
const std::vector<std::string>& FaultKinds();

// A clean update: every target updated.
SoakFault NoFault(const UpdateShape& shape);

// A fault of a kind drawn at random (including none), at a point the update has.
// When waits cost real time, the faults that are only ended by the host's busy
// limit (a minute) are left out.
SoakFault DrawFault(SoakRandom& random, const UpdateShape& shape, bool realTime = false);
