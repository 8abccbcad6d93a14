#include "engine/update_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "engine/messages.h"
#include "testsupport/memory_port.h"

namespace {

// A device that sends without pause, as firmware printing a log would.
class EndlessSender : public SerialChannel {
 public:
  explicit EndlessSender(EndlessSender** self) { *self = this; }
  bool SetTimeouts(uint32_t ms) override {
    timeoutMs = ms;
    return true;
  }
  bool Write(const uint8_t*, uint32_t) override { return true; }
  bool Read(uint8_t* data, uint32_t count) override {
    for (uint32_t i = 0; i < count; ++i) data[i] = 0x55;
    ++reads;
    return true;
  }

  uint32_t timeoutMs = 0;
  size_t reads = 0;
};

TEST(DrainPort, DropsStaleInputAndLeavesTheWakeUpTimeOut) {
  UpdateState state;
  auto owned = std::make_unique<MemoryPort>();
  MemoryPort* device = owned.get();
  state.port.Attach(std::move(owned));
  device->QueueReply({0x11, 0x88, 0x44});
  DrainPort(state);
  EXPECT_EQ(device->readCount, 4u);
  EXPECT_EQ(device->timeoutMs, 1u);
}

// Used to hang the window: the drain waited for a gap that never came. It reads
// for its second, then gives up on the gap and leaves the wake-up time-out.
TEST(DrainPort, EndsAlthoughTheDeviceNeverStopsSending) {
  UpdateState state;
  EndlessSender* device = nullptr;
  state.port.Attach(std::make_unique<EndlessSender>(&device));
  const auto start = std::chrono::steady_clock::now();
  DrainPort(state);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_GT(device->reads, 1u);
  EXPECT_EQ(device->timeoutMs, 1u);
}

TEST(ConfirmCancel, MarksTheUnfinishedRowsWhileTheUpdateRuns) {
  UpdateState state;
  state.targetCount = 3;
  state.currentTarget = 1;
  state.runState = RunState::Running;
  ConfirmCancel(state);
  EXPECT_TRUE(state.cancelRequested.load());
  EXPECT_EQ(state.rows[0].status.Get(), "");
  EXPECT_EQ(state.rows[1].status.Get(), MessageText(MsgCancelled));
  EXPECT_EQ(state.rows[2].status.Get(), MessageText(MsgCancelled));
  EXPECT_EQ(state.rows[3].status.Get(), "");
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
}

TEST(ConfirmCancel, LeavesTheResultOfAnEndedUpdateAlone) {
  UpdateState state;
  state.targetCount = 1;
  state.statusLine.Set(FormatMessageText(MsgResult, 1, 1));
  state.runState = RunState::Finished;
  ConfirmCancel(state);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 1, 1));
  EXPECT_EQ(state.rows[0].status.Get(), "");
}

}  // namespace

namespace {

// The two sides of the ending: what comes first decides, and the worker's reason
// always replaces the cancel's text, never the other way round.
TEST(Ending, TheReasonAnUpdateEndedForStandsWhateverComesFirst) {
  UpdateState cancelledFirst;
  cancelledFirst.targetCount = 2;
  cancelledFirst.runState = RunState::Running;
  ConfirmCancel(cancelledFirst);
  EndUpdate(cancelledFirst,
            {RunState::Finished, MessageText(MsgNotResponding), TargetOutcome::Failed, false});
  EXPECT_EQ(cancelledFirst.statusLine.Get(), MessageText(MsgNotResponding));
  EXPECT_EQ(cancelledFirst.rows[0].status.Get(), MessageText(MsgUnsuccessful));
  EXPECT_EQ(cancelledFirst.rows[1].status.Get(), MessageText(MsgCancelled));
  EXPECT_EQ(cancelledFirst.runState.load(), RunState::Finished);

  UpdateState endedFirst;
  endedFirst.targetCount = 2;
  endedFirst.runState = RunState::Running;
  EndUpdate(endedFirst, {RunState::Finished, MessageText(MsgNotResponding), TargetOutcome::NotReached, false});
  endedFirst.runState = RunState::Running;  // the front end has not seen the end yet
  ConfirmCancel(endedFirst);
  EXPECT_EQ(endedFirst.statusLine.Get(), MessageText(MsgNotResponding));
  EXPECT_EQ(endedFirst.rows[1].status.Get(), "");
  EXPECT_EQ(endedFirst.rows[1].outcome.load(), TargetOutcome::NotReached);
}

// The ending counts every target of the file, reached or not, with its units, and
// makes the result line from the counts; an ending that did not complete keeps
// its own reason but is counted all the same.
TEST(Ending, CountsEveryTargetFromItsRow) {
  UpdateState completed;
  completed.targetCount = 3;
  completed.rows[0].multiplicity = 3;
  SetRowOutcome(completed.rows[0], TargetOutcome::Updated);
  SetRowOutcome(completed.rows[1], TargetOutcome::MissingTarget);
  SetRowOutcome(completed.rows[2], TargetOutcome::Updated);
  completed.currentTarget = 3;  // every record worked through
  EndUpdate(completed, {RunState::Finished, "", TargetOutcome::NotReached, true});
  const UpdateResult result = EndedResult(completed);
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(result.successes, 4);
  EXPECT_EQ(result.total, 5);
  EXPECT_EQ(completed.statusLine.Get(), FormatMessageText(MsgResult, 4, 5));
  EXPECT_EQ(completed.rows[1].status.Get(), MessageText(MsgMissingTarget));

  UpdateState broken;
  broken.targetCount = 3;
  SetRowOutcome(broken.rows[0], TargetOutcome::Updated);
  broken.currentTarget = 1;
  EndUpdate(broken, {RunState::Finished, "format", TargetOutcome::PartlySent, false});
  const UpdateResult partial = EndedResult(broken);
  EXPECT_FALSE(partial.completed);
  EXPECT_EQ(partial.successes, 1);
  EXPECT_EQ(partial.total, 3);
  EXPECT_EQ(broken.statusLine.Get(), "format");
  EXPECT_EQ(broken.rows[1].outcome.load(), TargetOutcome::PartlySent);
  EXPECT_EQ(broken.rows[1].status.Get(), "");
}

}  // namespace
