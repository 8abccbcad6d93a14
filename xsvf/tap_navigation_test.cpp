#include "xsvf/tap_navigation.h"

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

TEST_F(TapNavigationTest, TakesTheFixedPathsOneFramePerStep) {
  const Path paths[] = {
      {TapIdle, TapDrShift, "100"},      {TapIdle, TapIrShift, "1100"},
      {TapDrPause, TapDrShift, "10"},    {TapDrPause, TapDrPause, "111010"},
      {TapIrPause, TapIrPause, "1111010"}, {TapIdle, TapIdle, ""},
      {TapDrShift, TapIrShift, "111100"}, {TapReset, TapDrPause, "01010"},
  };
  for (const Path& path : paths) {
    payloads.clear();
    uint8_t tapState = path.from;
    EXPECT_EQ(MoveTap(io, tapState, path.to), XsvfOk);
    EXPECT_EQ(tapState, path.to);
    EXPECT_EQ(TmsSteps(), path.tms) << int{path.from} << " -> " << int{path.to};
    EXPECT_EQ(payloads.size(), std::string(path.tms).size());
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
      EXPECT_LE(payloads.size(), 7u);
    }
  }
}

TEST_F(TapNavigationTest, ResetIsAlwaysSixClocksWithTmsHigh) {
  uint8_t tapState = TapReset;
  EXPECT_EQ(MoveTap(io, tapState, TapReset), XsvfOk);
  const std::vector<uint8_t> step = {'B', 0x10, 0x01, 0x11};
  const std::vector<uint8_t> clock = {'B', 0x01, 0x11};
  EXPECT_THAT(payloads, ElementsAre(step, clock, clock, clock, clock, clock));
}

TEST_F(TapNavigationTest, RefusesStatesAboveFifteenWithoutSending) {
  uint8_t tapState = TapIdle;
  EXPECT_EQ(MoveTap(io, tapState, 16), XsvfIllegalState);
  EXPECT_EQ(tapState, TapIdle);
  EXPECT_TRUE(payloads.empty());
}

TEST_F(TapNavigationTest, XStateZeroResetsEvenFromReset) {
  LoadProgram("XSTATE RESET\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  // TMS raise, the run's reset, the XSTATE reset (six frames each), the end.
  EXPECT_EQ(Commands(), "B" + std::string(12, 'B') + "F");
}

TEST_F(TapNavigationTest, IllegalStateOperandsEndTheRun) {
  LoadProgram("XSTATE DREXIT2\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfIllegalState);
  EXPECT_EQ(Commands(), "BBBBBBBF");  // nothing for the XSTATE itself

  payloads.clear();
  LoadProgram("XENDDR 1\nXENDIR 2\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfIllegalState);
  const std::string log = ReadLog();
  EXPECT_THAT(log, HasSubstr("  XENDDR\r\n   ENDDR State = DRPAUSE\r\n  XENDIR\r\n"
                             "ERROR:  Illegal state specification\r\n"
                             "ERROR at or near XSVF command #2."));
}

}  // namespace
