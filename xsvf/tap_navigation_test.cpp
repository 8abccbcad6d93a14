#include "xsvf/tap_navigation.h"

#include <algorithm>

#include <gmock/gmock.h>

#include "testsupport/player_test_fixture.h"
#include "xsvf/xsvf_run.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The IEEE 1149.1 TAP controller: the state after one clock with TMS low or high.
uint8_t StandardNext(uint8_t state, bool tms) {
  static const uint8_t next[kTapStateCount][2] = {
      {TapIdle, TapReset},          {TapIdle, TapDrSelect},       {TapDrCapture, TapIrSelect},
      {TapDrShift, TapDrExit1},     {TapDrShift, TapDrExit1},     {TapDrPause, TapDrUpdate},
      {TapDrPause, TapDrExit2},     {TapDrShift, TapDrUpdate},    {TapIdle, TapDrSelect},
      {TapIrCapture, TapReset},     {TapIrShift, TapIrExit1},     {TapIrShift, TapIrExit1},
      {TapIrPause, TapIrUpdate},    {TapIrPause, TapIrExit2},     {TapIrShift, TapIrUpdate},
      {TapIdle, TapDrSelect},
  };
  return next[state][tms ? 1 : 0];
}

using TapNavigationTest = PlayerTest;

struct Path {
  uint8_t from, to;
  const char* tms;
};

const Path kPaths[] = {
    {TapIdle, TapDrShift, "100"},       {TapIdle, TapIrShift, "1100"},
    {TapDrPause, TapDrShift, "10"},     {TapDrPause, TapDrPause, "111010"},
    {TapIrPause, TapIrPause, "1111010"}, {TapIdle, TapIdle, ""},
    {TapDrShift, TapIrShift, "111100"}, {TapReset, TapDrPause, "01010"},
};

using Bytes = std::vector<uint8_t>;

// The three levels of each step: TMS, TCK low, TCK high.
Bytes StepLevels(const std::string& tms) {
  Bytes levels;
  for (char level : tms) levels.insert(levels.end(), {uint8_t(level == '1' ? 0x10 : 0x00), 0x01, 0x11});
  return levels;
}

Bytes LevelFrame(const Bytes& levels) {
  // Sized at once: an insert into a one-byte vector draws false out-of-bounds
  // warnings from g++ 12 at -O3.
  Bytes frame(levels.size() + 1, 'B');
  std::copy(levels.begin(), levels.end(), frame.begin() + 1);
  return frame;
}

// The reset sequence: a step with TMS high, then five more clocks.
const Bytes kResetLevels = {0x10, 0x01, 0x11, 0x01, 0x11, 0x01, 0x11,
                            0x01, 0x11, 0x01, 0x11, 0x01, 0x11};

TEST_F(TapNavigationTest, EachMoveIsOneFrameBatchedAndOneFramePerStepOtherwise) {
  for (const Path& path : kPaths) {
    SCOPED_TRACE(std::to_string(path.from) + " -> " + std::to_string(path.to));
    const std::string tms = path.tms;
    payloads.clear();
    uint8_t tapState = path.from;
    EXPECT_EQ(MoveTap(io, tapState, path.to), XsvfOk);
    EXPECT_EQ(tapState, path.to);
    EXPECT_TRUE(payloads.empty());  // not before the next command of another kind
    cable.SendQueuedLevels();
    if (tms.empty()) {
      EXPECT_TRUE(payloads.empty());
    } else {
      EXPECT_THAT(payloads, ElementsAre(LevelFrame(StepLevels(tms))));
    }

    payloads.clear();
    tapState = path.from;
    EXPECT_EQ(MoveTap(oneStepIo, tapState, path.to), XsvfOk);
    std::vector<Bytes> steps;
    for (char level : tms) steps.push_back(LevelFrame(StepLevels(std::string(1, level))));
    EXPECT_EQ(payloads, steps);
  }
}

// Every move between two states follows real controller transitions and ends
// where it was asked to.
TEST_F(TapNavigationTest, EveryLegalMoveIsAValidControllerWalk) {
  for (uint8_t from = 0; from < kTapStateCount; ++from) {
    for (uint8_t to = 1; to < kTapStateCount; ++to) {
      payloads.clear();
      uint8_t tapState = from;
      const int result = MoveTap(io, tapState, to);
      cable.SendQueuedLevels();
      const bool illegal = from != to && ((to == TapDrExit2 && from != TapDrPause) ||
                                          (to == TapIrExit2 && from != TapIrPause));
      if (illegal) {
        EXPECT_EQ(result, XsvfIllegalState);
        EXPECT_EQ(tapState, from);
        EXPECT_TRUE(payloads.empty());
        continue;
      }
      uint8_t walked = from;
      for (char tms : TmsSteps()) walked = StandardNext(walked, tms == '1');
      EXPECT_EQ(walked, to) << int{from} << " -> " << int{to} << " via " << TmsSteps();
      EXPECT_EQ(tapState, to);
      EXPECT_LE(TmsSteps().size(), 7u);
      EXPECT_LE(payloads.size(), 1u);
    }
  }
}

TEST_F(TapNavigationTest, ResetIsAlwaysSixClocksWithTmsHigh) {
  uint8_t tapState = TapReset;
  EXPECT_EQ(MoveTap(io, tapState, TapReset), XsvfOk);
  cable.SendQueuedLevels();
  EXPECT_THAT(payloads, ElementsAre(LevelFrame(kResetLevels)));

  payloads.clear();
  EXPECT_EQ(MoveTap(oneStepIo, tapState, TapReset), XsvfOk);
  const Bytes step = {'B', 0x10, 0x01, 0x11};
  const Bytes clock = {'B', 0x01, 0x11};
  EXPECT_THAT(payloads, ElementsAre(step, clock, clock, clock, clock, clock));
}

TEST_F(TapNavigationTest, RefusesStatesAboveFifteenWithoutSending) {
  uint8_t tapState = TapIdle;
  EXPECT_EQ(MoveTap(io, tapState, 16), XsvfIllegalState);
  EXPECT_EQ(tapState, TapIdle);
  EXPECT_TRUE(payloads.empty());
}

TEST_F(TapNavigationTest, XStateZeroResetsEvenFromReset) {
  // TMS raised, the run's reset, the XSTATE reset: one frame, then the end.
  LoadProgram("XSTATE RESET\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), "BF");
  Bytes levels{0x10};
  levels.insert(levels.end(), kResetLevels.begin(), kResetLevels.end());
  levels.insert(levels.end(), kResetLevels.begin(), kResetLevels.end());
  EXPECT_EQ(payloads[0], LevelFrame(levels));

  // One step per frame: six frames for each reset.
  payloads.clear();
  host.stepFrames = StepFrames::OnePerStep;
  LoadProgram("XSTATE RESET\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), "B" + std::string(12, 'B') + "F");
}

// The shift finds the controller where the move left it: the move's frame first.
TEST_F(TapNavigationTest, MoveBeforeAShiftGoesOutFirst) {
  LoadProgram("XSIR 8 0x01\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), "BSBF");
  Bytes levels{0x10};
  levels.insert(levels.end(), kResetLevels.begin(), kResetLevels.end());
  const Bytes toIrShift = StepLevels("01100");  // RESET to IRSHIFT
  levels.insert(levels.end(), toIrShift.begin(), toIrShift.end());
  EXPECT_EQ(payloads[0], LevelFrame(levels));
  EXPECT_EQ(payloads[2], LevelFrame(StepLevels("10")));  // IREXIT1 to RUNTEST/IDLE

  payloads.clear();
  host.stepFrames = StepFrames::OnePerStep;
  LoadProgram("XSIR 8 0x01\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), std::string(12, 'B') + "S" + "BB" + "F");
}

TEST_F(TapNavigationTest, IllegalStateOperandsEndTheRun) {
  LoadProgram("XSTATE DREXIT2\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfIllegalState);
  EXPECT_EQ(Commands(), "BF");
  EXPECT_EQ(TmsSteps(), "111111");  // the run's reset, nothing for the XSTATE itself

  payloads.clear();
  LoadProgram("XENDDR 1\nXENDIR 2\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfIllegalState);
  const std::string log = ReadLog();
  EXPECT_THAT(log, HasSubstr("  XENDDR\r\n   ENDDR State = DRPAUSE\r\n  XENDIR\r\n"
                             "ERROR:  Illegal state specification\r\n"
                             "ERROR at or near XSVF command #2."));
}

}  // namespace
