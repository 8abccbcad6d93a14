#include "tools/cli/port_update.h"

#include <gtest/gtest.h>

#include "engine/messages.h"
#include "tools/cli/cli_options.h"

namespace {

// An update of two targets that ended as `ending` says, the first one updated.
void EndTwoTargets(UpdateState& state, const UpdateEnding& ending, bool bothUpdated) {
  state.targetCount = 2;
  state.runState = RunState::Running;
  SetRowOutcome(state.rows[0], TargetOutcome::Updated);
  if (bothUpdated) SetRowOutcome(state.rows[1], TargetOutcome::Updated);
  state.currentTarget = ending.completed ? 2 : 1;
  EndUpdate(state, ending);
}

// The exit status comes from the record's data: a status line that reads like a
// full success (a message whose text changed, a forged line) changes nothing.
TEST(DeviceExitStatus, ComesFromTheDataNotTheStatusLine) {
  const std::string allGood = FormatMessageText(MsgResult, 2, 2);
  UpdateState someFailed;
  EndTwoTargets(someFailed, {RunState::Finished, "", TargetOutcome::NotReached, true}, false);
  someFailed.statusLine.Set(allGood);
  EXPECT_EQ(DeviceExitStatus(someFailed, false), ExitSomeFailed);

  UpdateState updated;
  EndTwoTargets(updated, {RunState::Finished, "", TargetOutcome::NotReached, true}, true);
  updated.statusLine.Set("anything at all");
  EXPECT_EQ(DeviceExitStatus(updated, false), ExitAllUpdated);

  UpdateState endedEarly;
  EndTwoTargets(endedEarly, {RunState::Finished, allGood, TargetOutcome::PartlySent, false}, false);
  EXPECT_EQ(DeviceExitStatus(endedEarly, false), ExitOtherError);

  UpdateState cancelled;
  cancelled.cancelRequested = true;
  EndTwoTargets(cancelled, {RunState::Aborted, allGood, TargetOutcome::NotReached, false}, false);
  EXPECT_EQ(DeviceExitStatus(cancelled, false), ExitCancelled);

  UpdateState unanswered;
  unanswered.cancelRequested = true;
  EndTwoTargets(unanswered, {RunState::Aborted, "", TargetOutcome::NotReached, false}, false);
  EXPECT_EQ(DeviceExitStatus(unanswered, true), ExitOtherError);
}

}  // namespace
