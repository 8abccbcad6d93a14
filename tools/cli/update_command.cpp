#include "tools/cli/update_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_session.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/file_check.h"
#include "tools/cli/serial_ports.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the view mirrors the record, and how often Ctrl-C is looked for.
constexpr auto kMirrorPeriod = std::chrono::milliseconds(200);
constexpr auto kInterruptPeriod = std::chrono::milliseconds(50);
// A second Ctrl-C within this time confirms the cancel.
constexpr auto kConfirmWindow = std::chrono::seconds(5);

volatile std::sig_atomic_t interruptCount = 0;

extern "C" void CountInterrupt(int) {
  interruptCount = interruptCount + 1;
}

// Ctrl-C cancels at once before the device has answered; afterwards it asks first,
// like the window's warning, and a second Ctrl-C soon after (or --yes) confirms.
class CancelHandler {
 public:
  using Warn = std::function<void(const std::string& text)>;

  CancelHandler(UpdateState& state, bool confirmAtOnce, Warn warn)
      : state(state), confirmAtOnce(confirmAtOnce), warn(std::move(warn)) {
    std::signal(SIGINT, CountInterrupt);
  }
  ~CancelHandler() { std::signal(SIGINT, SIG_DFL); }

  void Poll() {
    const int count = interruptCount;
    if (count == seen) return;
    seen = count;
    if (state.deviceAnswered.load() == 0) {
      state.cancelRequested.store(1);
    } else if (confirmAtOnce || (warned && Clock::now() - warnedAt <= kConfirmWindow)) {
      ConfirmCancel(state);
      state.refreshNeeded.store(1);
    } else {
      warn(std::string(MessageText(MsgCancelWarning)) +
           "\nPress Ctrl-C again within 5 seconds to cancel.");
      warned = true;
      warnedAt = Clock::now();
    }
  }

 private:
  UpdateState& state;
  bool confirmAtOnce;
  Warn warn;
  int seen = 0;
  bool warned = false;
  Clock::time_point warnedAt;
};

UpdateOutcome OutcomeOf(const UpdateState& state, const std::string& statusLine) {
  UpdateOutcome outcome;
  outcome.hasResult = state.runState.load() == Finished &&
                      ReadResultLine(statusLine, &outcome.successes, &outcome.total);
  if (state.runState.load() == Aborted) {
    outcome.exitStatus = state.cancelRequested.load() ? ExitCancelled : ExitOtherError;
  } else if (outcome.hasResult) {
    outcome.exitStatus = outcome.successes == outcome.total ? ExitAllUpdated : ExitSomeFailed;
  } else {
    outcome.exitStatus = ExitOtherError;
  }
  return outcome;
}

std::unique_ptr<ProgressView> MakeView(const CliOptions& options, bool onTerminal,
                                       std::FILE* out) {
  if (options.json) return MakeJsonView(out);
  if (onTerminal) return MakeTerminalView(out);
  return MakeLineView(out);
}

// XSVF comments arrive on the worker thread; the view shows them on this one.
class CommentQueue {
 public:
  void Push(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
    texts.push_back(text);
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> hold(lock);
    return std::move(texts);
  }

 private:
  std::mutex lock;
  std::vector<std::string> texts;
};

CommentQueue& PendingComments() {
  static CommentQueue queue;
  return queue;
}

void ShowPendingComments(ProgressView& view) {
  for (const std::string& text : PendingComments().Take()) view.Message(text);
}

// The worker's word that it has ended the update, so that the front end wakes at
// once instead of looking for the end again and again.
class EndSignal {
 public:
  void Reset() {
    std::lock_guard<std::mutex> hold(lock);
    ended = false;
  }
  void Notify() {
    std::lock_guard<std::mutex> hold(lock);
    ended = true;
    changed.notify_all();
  }
  // True once the update has ended; false when `until` came first.
  bool WaitUntil(Clock::time_point until) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_until(hold, until, [this] { return ended; });
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool ended = false;
};

// Mirrors the record into the view until the worker has ended the update.
void FollowUpdate(UpdateState& state, ProgressView& view, CancelHandler& cancel, EndSignal& end) {
  auto nextMirror = Clock::now();
  for (;;) {
    cancel.Poll();
    const auto now = Clock::now();
    if (now >= nextMirror) {
      ShowPendingComments(view);
      if (state.refreshNeeded.exchange(0) != 0) view.Show(TakeSnapshot(state));
      nextMirror += kMirrorPeriod;
    }
    if (end.WaitUntil(std::min(nextMirror, now + kInterruptPeriod))) return;
  }
}

}  // namespace

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  // Both outlive the worker thread, which nobody joins.
  static UpdateState state;
  static EndSignal end;
  if (!OpenCheckedFile(state, options.file, err)) return ExitUnusable;

  const std::string devicePath = DevicePathOfArgument(options.port);
  if (!OpenDevicePort(state, devicePath)) {
    std::fputs(FormatMessageText(MsgPortInUse, options.port.c_str()).c_str(), err);
    std::fprintf(err, "%s\n", PortOpenAdvice(devicePath).c_str());
    CloseUpdateResources(state);
    return ExitUnusable;
  }
  const std::string latency = LatencyAdvice(devicePath);
  if (!latency.empty()) std::fprintf(err, "%s\n", latency.c_str());

  UpdateHost host;
  host.comment = [](const std::string& text) { PendingComments().Push(text); };
  // On a terminal the view keeps its block in place around a warning; elsewhere
  // the warning goes to standard error, apart from the progress.
  const bool onTerminal = !options.json && isatty(fileno(out));
  std::unique_ptr<ProgressView> view = MakeView(options, onTerminal, out);
  CancelHandler cancel(state, options.yes, [&view, onTerminal, err](const std::string& text) {
    if (onTerminal) {
      view->Message(text);
    } else {
      std::fprintf(err, "\n%s\n", text.c_str());
    }
  });
  ClearRowsForUpdate(state);
  view->Show(TakeSnapshot(state));
  end.Reset();
  LaunchUpdate(state, host, [] { end.Notify(); });
  FollowUpdate(state, *view, cancel, end);

  ShowPendingComments(*view);
  const StateSnapshot last = TakeSnapshot(state);
  const UpdateOutcome outcome = OutcomeOf(state, last.statusLine);
  CloseUpdateResources(state);
  state.runState.store(Idle);
  view->Finish(last, outcome);
  return outcome.exitStatus;
}
