#pragma once
// A chip that plays its part in a given XSVF program: it answers every scan the
// program performs (sim/xsvf_scans.h) with the TDO the program expects, so that
// every comparison passes when the player delivers every bit in its place, and it
// records the TDI of every scan for tests to compare with the program.
//
// It has no registers of its own. The bits shifted in Shift-IR and Shift-DR are
// matched, in order, against the program's instruction and data scans: the n-th
// bit of a scan shows that scan's n-th expected TDO bit (an instruction scan shows
// the capture pattern 01 in its lowest bits). Captures and updates between them
// change nothing, so a walk through Capture-DR without a shift uses up no scan and
// a split scan continues across its commands. A bit that the program does not
// describe (a shift beyond the last scan, or in the other register than the next
// scan's) reads as 1 and is counted. A repeated shift, as a retry after a forced
// mismatch makes, is therefore a bit the program does not describe.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/jtag_chip.h"
#include "sim/xsvf_scans.h"

class ScriptedChip : public JtagChip {
 public:
  explicit ScriptedChip(std::vector<XsvfScan> scans);

  void Reset() override {}
  void Capture(ScanKind) override {}
  bool Shift(ScanKind kind, bool tdi) override;
  void Update(ScanKind) override {}

  const std::vector<XsvfScan>& Scans() const { return scans; }
  // The TDI shifted in each scan so far, in the order of Scans().
  const std::vector<std::vector<bool>>& ShiftedTdi() const { return shifted; }
  // Scans whose every bit has been shifted.
  size_t CompletedScans() const { return current; }
  uint64_t UndescribedBits() const { return undescribedBits; }

 private:
  std::vector<XsvfScan> scans;
  std::vector<std::vector<bool>> shifted;
  size_t current = 0;
  uint64_t undescribedBits = 0;
};

// The chip for a program given as bytes; nullptr with *error if it cannot be parsed.
std::unique_ptr<ScriptedChip> MakeScriptedChip(const std::vector<uint8_t>& program,
                                               std::string* error);
