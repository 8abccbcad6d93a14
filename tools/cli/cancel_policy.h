#pragma once
// update-cli's answer to Ctrl-C and SIGTERM while it updates devices.
//
// Ctrl-C, for every port at once: before any device has answered it cancels at
// once; afterwards it asks first, like the window's warning, and a second Ctrl-C
// soon after (or --yes) confirms. SIGTERM cancels at once. Once the cancel is
// under way, the third Ctrl-C, or one that comes when the cancel has waited a
// while for a worker (a device that stopped reading holds it in a write), asks
// to end the program without waiting for the workers. An update is never cut
// off half-programmed by a signal: the signals are only counted, and the run
// acts on the counts.

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "engine/update_state.h"

namespace upd {

// The signals an update run handles, for as long as it runs: Ctrl-C and SIGTERM
// are counted (from 0 when it starts), and a closed output pipe is ignored (the
// write fails instead). One run at a time: the counts are the process's.
class RunSignals {
 public:
  RunSignals();
  ~RunSignals();
  RunSignals(const RunSignals&) = delete;
  RunSignals& operator=(const RunSignals&) = delete;

 private:
  using Handler = void (*)(int);
  Handler previousInterrupt;
  Handler previousTerminate;
#ifdef SIGPIPE
  Handler previousPipe;
#endif
};

// What the user has asked of the run by Ctrl-C or SIGTERM.
enum class Stop { No, Cancel, EndNow };

// A second Ctrl-C within this time confirms the cancel.
constexpr auto kConfirmWindow = std::chrono::seconds(5);
// The third Ctrl-C, or one that comes when a cancel has waited this long for the
// workers, ends the program without waiting for them.
constexpr int kInterruptsToEnd = 3;
constexpr auto kCancelPatience = std::chrono::seconds(5);

// The policy above, applied to the signals RunSignals counts.
class CancelHandler {
 public:
  using Clock = std::chrono::steady_clock;
  using Warn = std::function<void(const std::string& text)>;

  // `confirmAtOnce`: --yes, the first Ctrl-C cancels. `warn` tells the user what
  // a further Ctrl-C would do.
  CancelHandler(bool confirmAtOnce, Warn warn);

  // Acts on the signals that came since the last call, on the records of the
  // updates under way, and says where the run stands.
  Stop Poll(const std::vector<UpdateState*>& updating);

 private:
  void CancelAll(const std::vector<UpdateState*>& updating);
  Stop OnInterruptWhileStopping(int interrupts);

  bool confirmAtOnce;
  Warn warn;
  int seenInterrupts = 0;
  int seenTerminates = 0;
  bool warned = false;
  Stop stop = Stop::No;
  Clock::time_point warnedAt;
  Clock::time_point stoppedAt;
};

}  // namespace upd
