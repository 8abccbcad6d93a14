#pragma once
// The faults a simulated device shows on demand: counts the occurrences of each
// fault point and says what the faults make of the current one.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/device_config.h"

// What the faults make of one occurrence of a fault point.
struct FaultEffect {
  std::vector<uint8_t> before;         // bytes sent ahead of the answer (noise, busy)
  std::optional<uint8_t> answerWith;   // answered with this instead; the message is dropped
  bool earlyEnd = false;               // the block is answered 0x44
  bool mismatch = false;               // the compared shift reports a TDO mismatch
  bool silence = false;                // the device goes quiet from here on
  bool disconnect = false;             // the line is cut from here on
  std::optional<uint8_t> endless;      // the device sends this byte without end
  bool stuck = false;                  // ... as busy reports, every 100 ms
  bool deaf = false;                   // the device reads nothing after this one
  bool GoesQuiet() const { return silence || disconnect; }
};

// Whether a fault of this kind can strike at this point (for instance an early end
// only at a block, a mismatch only at a compared shift).
bool FaultFits(FaultKind kind, FaultPoint point);

class FaultPlan {
 public:
  explicit FaultPlan(const std::vector<Fault>& faults);

  // Counts one occurrence of the point and returns what the faults make of it.
  FaultEffect Occur(FaultPoint point);
  // Counts start again from zero (the device was switched off).
  void Restart();
  // Occurrences on which at least one fault struck, over the plan's whole life.
  uint64_t Struck() const { return struck; }

 private:
  static constexpr size_t kPoints = static_cast<size_t>(FaultPoint::Shift) + 1;  // Shift is last
  std::vector<Fault> faults;
  std::array<uint32_t, kPoints> seen{};
  uint64_t struck = 0;
};
