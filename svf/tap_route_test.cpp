#include "svf/tap_route.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Route = std::vector<TapState>;

// Between stable states the player takes SVF's default paths.
TEST(TapRoute, BetweenStableStatesThePlayerTakesSvfsDefaultPaths) {
  const struct {
    TapState from, to;
    Route route;
  } paths[] = {
      {TapReset, TapIdle, {TapIdle}},
      {TapReset, TapDrPause, {TapIdle, TapDrSelect, TapDrCapture, TapDrExit1, TapDrPause}},
      {TapReset, TapIrPause,
       {TapIdle, TapDrSelect, TapIrSelect, TapIrCapture, TapIrExit1, TapIrPause}},
      {TapIdle, TapReset, {TapDrSelect, TapIrSelect, TapReset}},
      {TapIdle, TapDrPause, {TapDrSelect, TapDrCapture, TapDrExit1, TapDrPause}},
      {TapIdle, TapIrPause, {TapDrSelect, TapIrSelect, TapIrCapture, TapIrExit1, TapIrPause}},
      {TapDrPause, TapReset, {TapDrExit2, TapDrUpdate, TapDrSelect, TapIrSelect, TapReset}},
      {TapDrPause, TapIdle, {TapDrExit2, TapDrUpdate, TapIdle}},
      {TapDrPause, TapIrPause,
       {TapDrExit2, TapDrUpdate, TapDrSelect, TapIrSelect, TapIrCapture, TapIrExit1, TapIrPause}},
      {TapIrPause, TapReset, {TapIrExit2, TapIrUpdate, TapDrSelect, TapIrSelect, TapReset}},
      {TapIrPause, TapIdle, {TapIrExit2, TapIrUpdate, TapIdle}},
      {TapIrPause, TapDrPause,
       {TapIrExit2, TapIrUpdate, TapDrSelect, TapDrCapture, TapDrExit1, TapDrPause}},
      {TapIdle, TapIdle, {}},
  };
  for (const auto& path : paths) {
    EXPECT_EQ(PlayerRoute(path.from, path.to), path.route)
        << SvfStateName(path.from) << " to " << SvfStateName(path.to);
  }
}

// What the converter minds: scans from Pause would skip Capture, and a move to
// the Pause state it is in goes round.
TEST(TapRoute, PauseStatesGoOnToShiftWithoutCaptureAndRoundToThemselves) {
  EXPECT_EQ(PlayerRoute(TapDrPause, TapDrShift), (Route{TapDrExit2, TapDrShift}));
  EXPECT_EQ(PlayerRoute(TapIrPause, TapIrShift), (Route{TapIrExit2, TapIrShift}));
  EXPECT_EQ(PlayerRoute(TapDrPause, TapDrCapture),
            (Route{TapDrExit2, TapDrUpdate, TapDrSelect, TapDrCapture}));
  EXPECT_EQ(PlayerRoute(TapDrPause, TapDrPause),
            (Route{TapDrExit2, TapDrUpdate, TapDrSelect, TapDrCapture, TapDrExit1, TapDrPause}));
  EXPECT_EQ(PlayerRoute(TapIdle, TapDrExit2), Route{});  // refused by the player
  EXPECT_EQ(PlayerRoute(TapReset, TapReset), Route{TapReset});
}

// A path is converted on the rule that the player's route to the next state of
// a path is that one step.
TEST(TapRoute, EveryStepToAnotherStateIsThePlayersRouteThere) {
  for (int from = 0; from < kTapStateCount; ++from) {
    for (const bool tms : {false, true}) {
      const TapState state = static_cast<TapState>(from);
      const TapState next = NextTapState(state, tms);
      if (next == state) continue;
      EXPECT_TRUE(IsTapStep(state, next));
      EXPECT_EQ(PlayerRoute(state, next), Route{next}) << SvfStateName(state) << " tms " << tms;
    }
  }
  EXPECT_FALSE(IsTapStep(TapIdle, TapDrCapture));
}

TEST(TapRoute, StatesBySvfName) {
  for (int state = 0; state < kTapStateCount; ++state) {
    EXPECT_EQ(TapStateFromSvfName(SvfStateName(static_cast<TapState>(state))), state);
  }
  EXPECT_EQ(TapStateFromSvfName("drPause"), TapDrPause);
  EXPECT_EQ(TapStateFromSvfName("RUNTEST/IDLE"), std::nullopt);
  EXPECT_TRUE(IsStableState(TapIrPause) && !IsStableState(TapIrExit2));
}

}  // namespace
