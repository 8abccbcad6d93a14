#include "tools/cli/update_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "engine/update_session.h"
#include "tools/cli/device_log.h"
#include "tools/cli/file_check.h"
#include "tools/cli/port_update.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/serial_ports.h"
#include "tools/cli/terminal.h"
#include "xsvf/shown_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the view mirrors the records, how often Ctrl-C is looked for, and
// how often a port that waits for its next device is tried.
constexpr auto kMirrorPeriod = std::chrono::milliseconds(200);
constexpr auto kInterruptPeriod = std::chrono::milliseconds(50);
constexpr auto kReopenPeriod = std::chrono::milliseconds(500);
// A second Ctrl-C within this time confirms the cancel.
constexpr auto kConfirmWindow = std::chrono::seconds(5);

volatile std::sig_atomic_t interruptCount = 0;

extern "C" void CountInterrupt(int) {
  interruptCount = interruptCount + 1;
}

// The worker's word that it has ended an update, so that the front end wakes at
// once instead of looking for the end again and again. It lives as long as the
// program: a worker may still be on its way out of the signal when the front end
// has moved on.
class EndSignal {
 public:
  void Notify() {
    std::lock_guard<std::mutex> hold(lock);
    ++ends;
    changed.notify_all();
  }
  // Waits until an update ends or `until` comes; the number of ends so far.
  uint64_t WaitUntil(Clock::time_point until, uint64_t seen) {
    std::unique_lock<std::mutex> hold(lock);
    changed.wait_until(hold, until, [this, seen] { return ends != seen; });
    return ends;
  }
  uint64_t Ends() {
    std::lock_guard<std::mutex> hold(lock);
    return ends;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  uint64_t ends = 0;
};

EndSignal& UpdateEnds() {
  static EndSignal signal;
  return signal;
}

// XSVF comments arrive on the worker threads; the view shows them on this one.
class CommentQueue {
 public:
  void Push(const std::string& port, const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
    texts.push_back({port, text});
  }
  std::vector<std::pair<std::string, std::string>> Take() {
    std::lock_guard<std::mutex> hold(lock);
    return std::move(texts);
  }

 private:
  std::mutex lock;
  std::vector<std::pair<std::string, std::string>> texts;
};

CommentQueue& PendingComments() {
  static CommentQueue queue;
  return queue;
}

// Where a port stands in the run.
enum class Phase { Updating, WaitingForDevice, Done };

struct PortRun {
  std::unique_ptr<PortUpdate> update;
  Phase phase = Phase::Done;
  std::atomic<bool> ended{false};  // the worker has ended its update
  Clock::time_point nextTry;
  std::vector<DeviceResult> results;  // every device update on the port
  PortDisplay last;                   // as the last update left the port
  std::string openFailure;            // when the port could not be opened
};

std::unique_ptr<ProgressView> MakeView(const CliOptions& options, bool onTerminal,
                                       std::FILE* out) {
  if (options.json) return MakeJsonView(out);
  if (onTerminal) return MakeTerminalView(out, TerminalWidth);
  return MakeLineView(out);
}

// Ctrl-C, for every port at once: before any device has answered it cancels at
// once; afterwards it asks first, like the window's warning, and a second Ctrl-C
// soon after (or --yes) confirms.
class CancelHandler {
 public:
  using Warn = std::function<void(const std::string& text)>;

  CancelHandler(bool confirmAtOnce, Warn warn) : confirmAtOnce(confirmAtOnce), warn(std::move(warn)) {
    std::signal(SIGINT, CountInterrupt);
  }
  ~CancelHandler() { std::signal(SIGINT, SIG_DFL); }

  // Acts on a new Ctrl-C; true once the user has asked to stop the run.
  bool Poll(std::vector<std::unique_ptr<PortRun>>& ports) {
    const int count = interruptCount;
    if (count == seen) return stopping;
    seen = count;
    const bool answered = std::any_of(ports.begin(), ports.end(), [](auto& port) {
      return port->phase == Phase::Updating && port->update->State().deviceAnswered.load() != 0;
    });
    if (answered && !confirmAtOnce && !(warned && Clock::now() - warnedAt <= kConfirmWindow)) {
      warn(std::string(MessageText(MsgCancelWarning)) +
           "\nPress Ctrl-C again within 5 seconds to cancel.");
      warned = true;
      warnedAt = Clock::now();
      return stopping;
    }
    stopping = true;
    for (auto& port : ports) {
      if (port->phase != Phase::Updating) continue;
      UpdateState& state = port->update->State();
      if (state.deviceAnswered.load() == 0) {
        state.cancelRequested.store(1);
      } else {
        ConfirmCancel(state);
        state.refreshNeeded.store(1);
      }
    }
    return stopping;
  }

 private:
  bool confirmAtOnce;
  Warn warn;
  int seen = 0;
  bool warned = false;
  bool stopping = false;
  Clock::time_point warnedAt;
};

// What the update file holds, read through before any device is touched: the
// snapshot every device of the run is updated from, and what it says.
struct FileSummary {
  UpdateFileSnapshot snapshot;
  UpdateFileHeader header;
  std::vector<TargetSize> sizes;
  std::vector<uint32_t> ids;
  std::string sha256;     // of the whole snapshot, for the log
  bool verified = false;  // its checksum trailer matched
};

// Reads the whole file once and checks it as an update would. False with the
// status line the update would have ended on, and in *reason what is wrong and
// where (empty when the status line says it all).
bool ReadFileThrough(const std::string& path, FileSummary* summary, std::string* reason,
                     std::string* failure) {
  if (!ReadUpdateFileSnapshot(path, &summary->snapshot, &summary->header, failure)) return false;
  const UpdateFileCheck check = ReadThroughUpdateFile(summary->snapshot, path);
  if (!check.good) {
    if (check.detail != check.statusLine) *reason = check.detail;
    *failure = check.statusLine;
    return false;
  }
  summary->verified = check.checksum == ChecksumState::Verified;
  const UpdateFileCopy& copy = *summary->snapshot.copy;
  Sha256Digest digest{};
  if (Sha256OfCopy(copy, copy.Size(), &digest)) summary->sha256 = Sha256Hex(digest);
  for (const RecordSummary& record : check.records) {
    TargetSize size;
    size.storedBytes = record.header.storedLength;
    if (record.header.kind == KindXsvf) size.commands = static_cast<int64_t>(record.commands);
    summary->sizes.push_back(size);
    summary->ids.push_back(record.header.id);
  }
  return true;
}

// The result of an update that ended before it began, for the file or a port.
DeviceResult Unusable(const std::string& port, const std::string& text) {
  DeviceResult result;
  result.port = port;
  std::string line = text;
  while (!line.empty() && line.back() == '\n') line.pop_back();
  result.statusLine = line;
  result.exitStatus = ExitUnusable;
  return result;
}

// Says why the update cannot start, as the view's last words: a JSON result
// object with --json, the text on standard error otherwise.
int ReportUnusable(const CliOptions& options, const std::string& text, std::FILE* out,
                   std::FILE* err) {
  std::fputs(TerminalLines(text).c_str(), err);
  if (text.empty() || text.back() != '\n') std::fputc('\n', err);
  if (options.json) PrintJsonResult(out, Unusable("", text));
  return ExitUnusable;
}

class UpdateRun {
 public:
  UpdateRun(const CliOptions& options, const FileSummary& file, std::FILE* out, std::FILE* err)
      : options(options),
        file(file),
        out(out),
        err(err),
        severalDevices(options.ports.size() > 1 || options.repeat) {
    const bool onTerminal = !options.json && IsEscapeTerminal(out);
    view = MakeView(options, onTerminal, out);
    onTerminalView = onTerminal;
    for (const std::string& port : options.ports) {
      ports.push_back(std::make_unique<PortRun>());
      ports.back()->update = std::make_unique<PortUpdate>(port, SettingsFor(port, file));
    }
  }

  // Opens what the run writes besides its output. False once it has said why not.
  bool Prepare() {
    std::string failure;
    if (options.logPath.empty() || log.Open(options.logPath, &failure)) return true;
    ReportUnusable(options, failure, out, err);
    return false;
  }

  int Run() {
    OpenPorts();
    if (!severalDevices && !ports[0]->openFailure.empty()) return ExitUnusable;
    CancelHandler cancel(options.yes, [this](const std::string& text) { Warn(text); });
    auto nextMirror = Clock::now();
    uint64_t endsSeen = UpdateEnds().Ends();
    while (AnyActive()) {
      const bool stopping = cancel.Poll(ports);
      const auto now = Clock::now();
      for (auto& port : ports) Supervise(*port, now, stopping);
      if (now >= nextMirror) {
        Mirror(now);
        nextMirror += kMirrorPeriod;
      }
      // Once the last port is done there is nothing left to wait for.
      if (!AnyActive()) break;
      endsSeen = UpdateEnds().WaitUntil(std::min(nextMirror, now + kInterruptPeriod), endsSeen);
    }
    ShowComments();
    return severalDevices ? Summarize() : ports[0]->results.back().exitStatus;
  }

 private:
  PortSettings SettingsFor(const std::string& port, const FileSummary& file) const {
    PortSettings settings;
    settings.file = options.file;
    settings.snapshot = &file.snapshot;
    settings.header = &file.header;
    settings.sizes = file.sizes;
    settings.waitSeconds = options.waitSeconds;
    settings.openLine = options.openLine;
    settings.onePort = options.ports.size() == 1;
    settings.stepFrames = options.oneStepFrames ? StepFrames::OnePerStep : StepFrames::Batched;
    const std::string debugLog =
        options.debugLogPath.empty() ? std::string(kDebugLogName) : options.debugLogPath;
    // With several ports, every port has files of its own, named after the port
    // (and its place on the command line where two ports go by the same name).
    std::string label = PortLabel(port);
    const auto sameLabel = [&label](const std::string& other) { return PortLabel(other) == label; };
    if (std::count_if(options.ports.begin(), options.ports.end(), sameLabel) > 1) {
      const auto place = std::find(options.ports.begin(), options.ports.end(), port);
      label += "-" + std::to_string(place - options.ports.begin() + 1);
    }
    settings.debugLogPath = settings.onePort ? debugLog : PathForPort(debugLog, label);
    if (!options.tracePath.empty()) {
      settings.tracePath = settings.onePort ? options.tracePath : PathForPort(options.tracePath, label);
    }
    return settings;
  }

  // Opens every port and starts its update. On a production line a port that is
  // not there yet waits for its first device; otherwise it is reported (with
  // several ports, the others still run).
  void OpenPorts() {
    for (auto& port : ports) {
      if (port->update->Open(&port->openFailure)) {
        Start(*port);
      } else if (options.repeat) {
        port->openFailure.clear();
        port->phase = Phase::WaitingForDevice;
        port->nextTry = Clock::now() + kReopenPeriod;
      } else if (!severalDevices) {
        ReportUnusable(options, port->openFailure, out, err);
      } else if (options.json) {
        PrintJsonResult(out, Unusable(port->update->Port(), FirstLine(port->openFailure)));
      } else {
        view->Message(port->update->Port(), FirstLine(port->openFailure));
      }
    }
  }

  static std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
  }

  void Start(PortRun& port) {
    const std::string name = port.update->Port();
    port.ended = false;
    port.phase = Phase::Updating;
    PortRun* run = &port;
    port.update->Start(
        [name](const std::string& text) { PendingComments().Push(name, text); },
        [run] {
          run->ended = true;
          UpdateEnds().Notify();
        });
  }

  bool AnyActive() const {
    return std::any_of(ports.begin(), ports.end(),
                       [](const auto& port) { return port->phase != Phase::Done; });
  }

  void Supervise(PortRun& port, Clock::time_point now, bool stopping) {
    switch (port.phase) {
      case Phase::Updating:
        if (port.ended) {
          EndDevice(port, stopping);
        } else {
          port.update->Supervise(now, options.repeat);
        }
        break;
      case Phase::WaitingForDevice:
        if (stopping) {
          port.phase = Phase::Done;
        } else if (now >= port.nextTry) {
          std::string failure;
          if (port.update->Open(&failure)) Start(port);
          port.nextTry = now + kReopenPeriod;
        }
        break;
      case Phase::Done:
        break;
    }
  }

  void EndDevice(PortRun& port, bool stopping) {
    ShowComments();
    PortDisplay last;
    const DeviceResult result = port.update->Finish(&last);
    const bool lost = port.update->DeviceLost();
    if (!lost) {
      port.last = last;
      view->DeviceEnded(last, result);
      port.results.push_back(result);
      Log(*port.update, last, result);
    }
    const bool next = options.repeat && !stopping && !port.update->GaveUpWaiting() &&
                      result.exitStatus != ExitCancelled;
    port.phase = next ? Phase::WaitingForDevice : Phase::Done;
    port.nextTry = Clock::now() + (lost ? kReopenPeriod : Clock::duration::zero());
  }

  void Log(const PortUpdate& port, const PortDisplay& last, const DeviceResult& result) {
    if (options.logPath.empty()) return;
    DeviceLogEntry entry;
    entry.start = port.StartedAt();
    entry.port = port.Port();
    entry.file = options.file;
    entry.fileSha256 = file.sha256;
    entry.fileVerified = file.verified;
    entry.ids = file.ids;
    entry.last = last.state;
    entry.seconds = port.Seconds();
    entry.statusLine = result.statusLine;
    entry.exitStatus = result.exitStatus;
    if (!log.Append(entry)) std::fprintf(err, "Cannot write the log %s.\n", options.logPath.c_str());
  }

  void ShowComments() {
    for (const auto& [port, text] : PendingComments().Take()) {
      view->Comment(severalDevices ? port : "", text);
    }
  }

  // Every port as it stands: the one under way, the one waiting for its next
  // device, and on a terminal the one done, as its last update left it.
  void Mirror(Clock::time_point now) {
    ShowComments();
    std::vector<PortDisplay> displays;
    for (auto& port : ports) {
      if (port->phase == Phase::Done) {
        if (onTerminalView && !port->results.empty()) displays.push_back(port->last);
        continue;
      }
      port->update->State().refreshNeeded.store(0);
      PortDisplay display = port->update->Display(now);
      if (port->phase == Phase::WaitingForDevice) display.timing = "waiting for the next device";
      if (options.repeat) display.timing = Tally(*port) + display.timing;
      displays.push_back(display);
    }
    if (!displays.empty()) view->Show(displays);
  }

  // A production line's port: which device it is on and how the others went.
  static std::string Tally(const PortRun& port) {
    const auto updated = std::count_if(port.results.begin(), port.results.end(),
                                       [](const DeviceResult& r) { return r.exitStatus == ExitAllUpdated; });
    const size_t failed = port.results.size() - static_cast<size_t>(updated);
    return "device " + std::to_string(port.results.size() + 1) + " (" + std::to_string(updated) +
           " updated, " + std::to_string(failed) + " failed)  ";
  }

  void Warn(const std::string& text) {
    // On a terminal the view keeps its block in place around the warning;
    // elsewhere the warning goes to standard error, apart from the progress.
    if (onTerminalView) {
      view->Message("", text);
    } else {
      std::fprintf(err, "\n%s\n", text.c_str());
    }
  }

  int Summarize() {
    RunSummary summary;
    int updated = 0;
    int devices = 0;
    for (auto& port : ports) {
      std::vector<DeviceResult>& results = port->results;
      if (!port->openFailure.empty() && results.empty()) {
        results.push_back(Unusable(port->update->Port(), FirstLine(port->openFailure)));
      } else {
        for (const DeviceResult& result : results) {
          ++devices;
          if (result.exitStatus == ExitAllUpdated) ++updated;
        }
      }
      for (const DeviceResult& result : results) {
        summary.exitStatus = std::max(summary.exitStatus, result.exitStatus);
      }
      if (!results.empty()) {
        DeviceResult last = results.back();
        last.port = port->update->Port();
        summary.ports.push_back(last);
      }
    }
    summary.lastLine = std::to_string(updated) + " of " + std::to_string(devices) +
                       " devices updated successfully.";
    view->Finish(summary);
    return summary.exitStatus;
  }

  const CliOptions& options;
  const FileSummary& file;
  std::FILE* out;
  std::FILE* err;
  const bool severalDevices;
  DeviceLog log;
  bool onTerminalView = false;
  std::unique_ptr<ProgressView> view;
  std::vector<std::unique_ptr<PortRun>> ports;
};

}  // namespace

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  FileSummary file;
  std::string reason;
  std::string failure;
  if (!ReadFileThrough(options.file, &file, &reason, &failure)) {
    // The reason stands on the line before the status line.
    if (!reason.empty()) std::fprintf(err, "%s\n", reason.c_str());
    return ReportUnusable(options, failure, out, err);
  }
  if (!file.verified) {
    std::fprintf(err, "%s\n", FormatMessageText(MsgNoChecksum, options.file.c_str()).c_str());
  }
  for (const std::string& port : options.ports) {
    const std::string latency = LatencyAdvice(DevicePathOfArgument(port));
    if (!latency.empty()) std::fprintf(err, "%s\n", latency.c_str());
  }
  // The run and the file's summary outlive every worker the run started: a worker
  // may still be on its way out when the run has seen its end.
  static std::vector<std::unique_ptr<FileSummary>> files;
  static std::vector<std::unique_ptr<UpdateRun>> runs;
  files.push_back(std::make_unique<FileSummary>(std::move(file)));
  runs.push_back(std::make_unique<UpdateRun>(options, *files.back(), out, err));
  const int status = runs.back()->Prepare() ? runs.back()->Run() : ExitUnusable;
  // The run is over, and with it the private copy of its file (each worker
  // dropped its own hold on it as it ended).
  files.back()->snapshot = UpdateFileSnapshot();
  return status;
}
