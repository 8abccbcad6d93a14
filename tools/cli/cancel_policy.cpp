#include "tools/cli/cancel_policy.h"

#include <algorithm>
#include <utility>

#include "engine/messages.h"
#include "engine/update_session.h"

namespace upd {

namespace {

// What the signal handlers count; the run looks at the counts, the handlers do
// nothing else but count and stay in place: the Windows C runtime puts a
// signal's default back before it calls the handler, which would let the
// second Ctrl-C end the program in the middle of an update.
volatile std::sig_atomic_t interruptCount = 0;
volatile std::sig_atomic_t terminateCount = 0;

extern "C" void CountInterrupt(int signal) {
  std::signal(signal, CountInterrupt);
  interruptCount = interruptCount + 1;
}

extern "C" void CountTerminate(int signal) {
  std::signal(signal, CountTerminate);
  terminateCount = terminateCount + 1;
}

bool AnyAnswered(const std::vector<UpdateState*>& updating) {
  return std::any_of(updating.begin(), updating.end(),
                     [](const UpdateState* state) { return state->deviceAnswered.load(); });
}

}  // namespace

RunSignals::RunSignals() {
  interruptCount = 0;
  terminateCount = 0;
  previousInterrupt = std::signal(SIGINT, CountInterrupt);
  previousTerminate = std::signal(SIGTERM, CountTerminate);
#ifdef SIGPIPE
  previousPipe = std::signal(SIGPIPE, SIG_IGN);
#endif
}

RunSignals::~RunSignals() {
  std::signal(SIGINT, previousInterrupt);
  std::signal(SIGTERM, previousTerminate);
#ifdef SIGPIPE
  std::signal(SIGPIPE, previousPipe);
#endif
}

CancelHandler::CancelHandler(bool confirmAtOnce, Warn warn)
    : confirmAtOnce(confirmAtOnce), warn(std::move(warn)) {}

Stop CancelHandler::Poll(const std::vector<UpdateState*>& updating) {
  const int interrupts = interruptCount;
  const int terminates = terminateCount;
  const bool newInterrupt = interrupts != seenInterrupts;
  const bool newTerminate = terminates != seenTerminates;
  seenInterrupts = interrupts;
  seenTerminates = terminates;
  if (stop == Stop::Cancel && newInterrupt) return OnInterruptWhileStopping(interrupts);
  if (stop != Stop::No || (!newInterrupt && !newTerminate)) return stop;
  if (!newTerminate && !confirmAtOnce && AnyAnswered(updating) &&
      !(warned && Clock::now() - warnedAt <= kConfirmWindow)) {
    warn(std::string(MessageText(MsgCancelWarning)) +
         "\nPress Ctrl-C again within 5 seconds to cancel.");
    warned = true;
    warnedAt = Clock::now();
    return stop;
  }
  CancelAll(updating);
  return stop;
}

void CancelHandler::CancelAll(const std::vector<UpdateState*>& updating) {
  stop = Stop::Cancel;
  stoppedAt = Clock::now();
  for (UpdateState* state : updating) {
    if (!state->deviceAnswered.load()) {
      state->cancelRequested.store(true);
    } else {
      ConfirmCancel(*state);
      state->refreshNeeded.store(true);
    }
  }
}

Stop CancelHandler::OnInterruptWhileStopping(int interrupts) {
  if (interrupts >= kInterruptsToEnd || Clock::now() - stoppedAt >= kCancelPatience) {
    stop = Stop::EndNow;
  } else {
    warn(MessageText(MsgPressAgainToEnd));
  }
  return stop;
}

}  // namespace upd
