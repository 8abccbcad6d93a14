#pragma once
// The TAP controller of the simulated JTAG port: the 16-state machine of IEEE
// 1149.1, clocked by the TCK line with the TMS line's level, driving the chip
// behind it (sim/jtag_chip.h).
//
// At a rising TCK edge the controller first acts on the state it is in (Capture
// loads the register, Shift moves one bit from TDI towards TDO), then moves on.
// Entering an Update state updates the register (the falling edge in that state,
// taken early since nothing can observe the difference); entering
// Test-Logic-Reset resets the chip.

#include <cstdint>

#include "sim/jtag_chip.h"

// Numbered as XSVF programs number them, so that logs and tests can compare.
enum class JtagState : uint8_t {
  TestLogicReset = 0,
  RunTestIdle = 1,
  SelectDrScan = 2,
  CaptureDr = 3,
  ShiftDr = 4,
  Exit1Dr = 5,
  PauseDr = 6,
  Exit2Dr = 7,
  UpdateDr = 8,
  SelectIrScan = 9,
  CaptureIr = 10,
  ShiftIr = 11,
  Exit1Ir = 12,
  PauseIr = 13,
  Exit2Ir = 14,
  UpdateIr = 15,
};

// The state after one rising TCK edge with this TMS level.
JtagState NextJtagState(JtagState state, bool tms);

class TapController {
 public:
  // Power-up: Test-Logic-Reset with TMS high (its pull-up), TCK and TDI low.
  explicit TapController(JtagChip& chip);
  void PowerUp();

  void SetTms(bool level) { tms = level; }
  // A low-to-high change clocks the controller.
  void SetTck(bool level);

  // One whole clock pulse with these levels, as a shift drives the lines: TMS and
  // TDI set, TCK low, TDO sampled, TCK high. Returns the sampled TDO, which is the
  // register's bit 0 in a Shift state and high (not driven) elsewhere.
  bool Clock(bool tmsLevel, bool tdiLevel);

  // Time passes on the port; a chip counts it only in Run-Test/Idle.
  void Wait(uint32_t microseconds);

  JtagState State() const { return state; }
  uint64_t RisingEdges() const { return risingEdges; }

 private:
  bool RisingEdge();

  JtagChip& chip;
  JtagState state = JtagState::TestLogicReset;
  bool tms = true;
  bool tck = false;
  bool tdi = false;
  uint64_t risingEdges = 0;
};
