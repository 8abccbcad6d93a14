#include "sim/tap_controller.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Writes what the controller does to it as letters: R reset, C capture, S shift
// (with the TDI bit), U update, W wait; i or d for the register.
class TraceChip : public JtagChip {
 public:
  void Reset() override { trace += "R "; }
  void Capture(ScanKind kind) override { trace += Letter('C', kind); }
  bool Shift(ScanKind kind, bool tdi) override {
    trace += Letter('S', kind, tdi ? "1" : "0");
    return tdoLevel;
  }
  void Update(ScanKind kind) override { trace += Letter('U', kind); }
  void RunTestIdle(uint32_t microseconds) override { trace += "W" + std::to_string(microseconds) + " "; }

  std::string trace;
  bool tdoLevel = false;

 private:
  static std::string Letter(char what, ScanKind kind, const char* extra = "") {
    return std::string(1, what) + (kind == ScanKind::Instruction ? "i" : "d") + extra + " ";
  }
};

TEST(TapControllerTest, FiveClocksWithTmsHighResetFromEveryState) {
  for (int start = 0; start < 16; ++start) {
    JtagState state = static_cast<JtagState>(start);
    for (int i = 0; i < 5; ++i) state = NextJtagState(state, true);
    EXPECT_EQ(state, JtagState::TestLogicReset) << "from state " << start;
  }
}

TEST(TapControllerTest, DataScanCapturesShiftsAndUpdatesAtTheRightEdges) {
  TraceChip chip;
  TapController tap(chip);
  EXPECT_EQ(chip.trace, "R ");  // power-up
  chip.trace.clear();

  for (bool tms : {false, true, false, false}) tap.Clock(tms, false);  // to Shift-DR
  EXPECT_EQ(tap.State(), JtagState::ShiftDr);
  EXPECT_EQ(chip.trace, "Cd ");

  tap.Clock(false, true);
  tap.Clock(true, false);  // the last bit leaves Shift-DR for Exit1-DR
  EXPECT_EQ(tap.State(), JtagState::Exit1Dr);
  tap.Clock(false, true);  // Pause-DR: no shift
  tap.Clock(true, true);   // Exit2-DR
  tap.Clock(false, true);  // back in Shift-DR without a new capture
  tap.Clock(true, true);   // shifts, Exit1-DR
  tap.Clock(true, true);   // Update-DR
  tap.Clock(false, false);
  EXPECT_EQ(tap.State(), JtagState::RunTestIdle);
  tap.Wait(70);
  for (int i = 0; i < 4; ++i) tap.Clock(true, false);  // one reset on entering Test-Logic-Reset
  tap.Wait(50);
  EXPECT_EQ(chip.trace, "Cd Sd1 Sd0 Sd1 Ud W70 R ");
}

}  // namespace
