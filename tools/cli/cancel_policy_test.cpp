#include "tools/cli/cancel_policy.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "engine/messages.h"

namespace {

using upd::CancelHandler;
using upd::RunSignals;
using upd::Stop;

const std::string kFirstWarning =
    std::string(MessageText(MsgCancelWarning)) + "\nPress Ctrl-C again within 5 seconds to cancel.";

// One update under way and the policy watching it, with the signals counted;
// what the policy tells the user is kept.
class CancelPolicy : public ::testing::Test {
 protected:
  explicit CancelPolicy(bool confirmAtOnce = false)
      : handler(confirmAtOnce, [this](const std::string& text) { warnings.push_back(text); }) {
    state.targetCount = 1;
    state.runState = RunState::Running;
  }

  Stop Signal(int signal) {
    std::raise(signal);
    return handler.Poll({&state});
  }

  const RunSignals signals;
  UpdateState state;
  std::vector<std::string> warnings;
  CancelHandler handler;
};

class CancelPolicyWithYes : public CancelPolicy {
 protected:
  CancelPolicyWithYes() : CancelPolicy(true) {}
};

// Nothing has reached the device yet: the first Ctrl-C cancels without asking,
// and the worker stops waking the device.
TEST_F(CancelPolicy, BeforeTheDeviceAnswersCtrlCCancelsAtOnce) {
  EXPECT_EQ(handler.Poll({&state}), Stop::No);
  EXPECT_EQ(Signal(SIGINT), Stop::Cancel);
  EXPECT_TRUE(state.cancelRequested.load());
  EXPECT_TRUE(warnings.empty());
}

// A device that is being programmed: the first Ctrl-C only warns, the second
// confirms (the rows and the status line say so), and once the cancel is under
// way the third ends the program without waiting.
TEST_F(CancelPolicy, OnceTheDeviceAnsweredCtrlCAsksFirstAndTheThirdEndsTheProgram) {
  state.deviceAnswered = true;
  EXPECT_EQ(Signal(SIGINT), Stop::No);
  EXPECT_FALSE(state.cancelRequested.load());
  EXPECT_EQ(warnings, std::vector<std::string>{kFirstWarning});

  EXPECT_EQ(Signal(SIGINT), Stop::Cancel);
  EXPECT_TRUE(state.cancelRequested.load());
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  EXPECT_EQ(state.rows[0].outcome.load(), TargetOutcome::Cancelled);

  EXPECT_EQ(Signal(SIGINT), Stop::EndNow);
  EXPECT_EQ(handler.Poll({&state}), Stop::EndNow);
}

// SIGTERM comes from a program, not a user who might have slipped: it cancels
// at once even while a device is being programmed.
TEST_F(CancelPolicy, SigtermCancelsWithoutAsking) {
  state.deviceAnswered = true;
  EXPECT_EQ(Signal(SIGTERM), Stop::Cancel);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  EXPECT_TRUE(warnings.empty());
}

// --yes: the first Ctrl-C confirms; the next one says how to end at once, and
// the one after that ends.
TEST_F(CancelPolicyWithYes, TheFirstCtrlCConfirmsAndTheSecondSaysHowToEnd) {
  state.deviceAnswered = true;
  EXPECT_EQ(Signal(SIGINT), Stop::Cancel);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  EXPECT_EQ(Signal(SIGINT), Stop::Cancel);
  EXPECT_EQ(warnings, std::vector<std::string>{MessageText(MsgPressAgainToEnd)});
  EXPECT_EQ(Signal(SIGINT), Stop::EndNow);
}

}  // namespace
