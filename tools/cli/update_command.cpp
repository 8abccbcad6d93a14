#include "tools/cli/update_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "engine/update_session.h"
#include "tools/cli/cancel_policy.h"
#include "tools/cli/device_log.h"
#include "tools/cli/file_check.h"
#include "tools/cli/port_update.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/serial_ports.h"
#include "tools/cli/terminal.h"
#include "tools/cli/trusted_keys.h"
#include "tools/common/command_line.h"
#include "xsvf/shown_text.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the view mirrors the records, how often Ctrl-C is looked for, and
// how often a port that waits for its next device is tried.
constexpr auto kMirrorPeriod = std::chrono::milliseconds(200);
constexpr auto kInterruptPeriod = std::chrono::milliseconds(50);
constexpr auto kReopenPeriod = std::chrono::milliseconds(500);

// The workers' word that they have ended an update, so that the front end wakes
// at once instead of looking for the end again and again.
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

 private:
  std::mutex lock;
  std::condition_variable changed;
  uint64_t ends = 0;
};

// XSVF comments (and the player's notices) arrive on the worker threads; the
// view shows them on this one.
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
  std::string notStarted;             // why no device was updated there, if none was
  size_t place = 0;                   // among the options' ports
};

// The port of a run on one port, which the views do not name; empty with several.
std::string OnlyPort(const CliOptions& options) {
  return options.ports.size() == 1 ? options.ports.front() : "";
}

// JSON for scripts; on a terminal the redrawn block, unless the user asked for
// less; lines otherwise.
std::unique_ptr<ProgressView> MakeView(const CliOptions& options, bool onTerminal,
                                       std::FILE* out) {
  if (options.json) return MakeJsonView(out, OnlyPort(options));
  const bool colour = TakesColour(out);
  if (options.verbosity == Verbosity::Quiet) {
    return MakeLineView(out, LineDetail::StatusOnly, colour);
  }
  if (!options.progress) return MakeLineView(out, LineDetail::Outcome, colour);
  if (onTerminal) return MakeTerminalView(out, TerminalWidth, colour);
  return MakeLineView(out);
}

// The updates under way, for the Ctrl-C policy.
std::vector<UpdateState*> UpdatingStates(const std::vector<std::unique_ptr<PortRun>>& ports) {
  std::vector<UpdateState*> states;
  for (const auto& port : ports) {
    if (port->phase == Phase::Updating) states.push_back(&port->update->State());
  }
  return states;
}

// Reads the whole file once and checks it as an update would. False with the
// status line the update would have ended on, and in *reason what is wrong and
// where (empty when the status line says it all).
bool ReadFileThrough(const std::string& path, const TrustedKeys& trusted, FileSummary* summary,
                     std::string* reason, std::string* failure) {
  if (!ReadUpdateFileSnapshot(path, &summary->snapshot, &summary->header, failure)) return false;
  const UpdateFileCheck check = ReadThroughUpdateFile(summary->snapshot, path, trusted);
  if (!check.good) {
    if (check.detail != check.statusLine) *reason = check.detail;
    *failure = check.statusLine;
    return false;
  }
  summary->verified = check.checksum == ChecksumState::Verified;
  summary->signature = check.signature;
  const UpdateFileCopy& copy = *summary->snapshot.copy;
  Sha256Digest digest{};
  if (Sha256OfCopy(copy, copy.Size(), &digest)) summary->sha256 = Sha256Hex(digest);
  for (const RecordSummary& record : check.records) {
    TargetSize size;
    size.storedBytes = record.header.storedLength;
    if (record.header.kind == KindXsvf) size.commands = static_cast<int64_t>(record.commands);
    summary->sizes.push_back(size);
    summary->ids.push_back(record.header.id);
    summary->descriptions.push_back(RecordLine(record));
  }
  return true;
}

// The records --only or --skip leaves to the update, one flag per record; every
// id named must be a record's. False with the usage error otherwise.
bool ChooseTargets(const CliOptions& options, const FileSummary& file,
                   std::vector<bool>* selected, std::string* error) {
  const TargetChoice& choice = options.choice;
  if (choice.option.empty()) return true;
  for (uint32_t id : choice.ids) {
    if (std::find(file.ids.begin(), file.ids.end(), id) == file.ids.end()) {
      *error = FormatMessageText(MsgNoSuchTarget, choice.option.c_str(), choice.given.c_str(),
                                 options.file.c_str(), id);
      return false;
    }
  }
  const bool only = choice.option == "only";
  for (uint32_t id : file.ids) {
    const bool named = std::find(choice.ids.begin(), choice.ids.end(), id) != choice.ids.end();
    selected->push_back(named == only);
  }
  if (std::find(selected->begin(), selected->end(), true) == selected->end()) {
    *error = FormatMessageText(MsgNothingLeft, choice.given.c_str(), options.file.c_str());
    return false;
  }
  return true;
}

// --verbose: what the file holds and what goes to the device, before it starts.
void DescribeUpdate(const CliOptions& options, const FileSummary& file,
                    const std::vector<bool>& selected, std::FILE* out) {
  std::string line = options.file + ": " + std::to_string(file.ids.size()) + " targets, " +
                     (file.verified ? "checksum OK" : "no checksum") + ", SHA-256 " + file.sha256;
  std::fprintf(out, "%s\n", TerminalText(line).c_str());
  for (size_t i = 0; i < file.ids.size(); ++i) {
    const bool sent = selected.empty() || selected[i];
    line = "  " + file.descriptions[i];
    if (!sent) line += "; " + std::string(MessageText(MsgNotSelected));
    std::fprintf(out, "%s\n", TerminalText(line).c_str());
  }
  for (const std::string& port : options.ports) {
    line = "port " + port + ": " + DevicePathOfArgument(port);
    std::fprintf(out, "%s\n", TerminalText(line).c_str());
  }
}

// The result of an update that ended before it began, for the file or a port.
DeviceResult Unusable(const std::string& port, const std::string& text,
                      int exitStatus = ExitUnusable) {
  DeviceResult result;
  result.port = port;
  result.statusLine = WithoutLineEnd(text);
  result.exitStatus = exitStatus;
  return result;
}

bool HasJtagTarget(const FileSummary& file) {
  return std::any_of(file.sizes.begin(), file.sizes.end(),
                     [](const TargetSize& size) { return size.commands > 0; });
}

// Whether the file at `path` can be written, found out without changing it: it is
// opened for appending, and removed again if the check created it. False with
// the system's reason.
bool CanWrite(const std::string& path, std::string* reason) {
  std::error_code ignored;
  const bool existed =
      std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    *reason = std::strerror(errno);
    return false;
  }
  std::fclose(file);
  if (!existed) std::filesystem::remove(path, ignored);
  return true;
}

// Says why the update cannot start, as the view's last words: a JSON result
// object with --json, the text on standard error otherwise.
int ReportUnusable(const CliOptions& options, const std::string& text, std::FILE* out,
                   std::FILE* err) {
  std::fputs(TerminalLines(text).c_str(), err);
  if (text.empty() || text.back() != '\n') std::fputc('\n', err);
  if (options.json) PrintJsonResult(out, Unusable(OnlyPort(options), text));
  return ExitUnusable;
}

class UpdateRun {
 public:
  UpdateRun(const CliOptions& options, const FileSummary& file, std::vector<bool> selected,
            LineFrontEnd* frontEnd, std::FILE* out, std::FILE* err)
      : options(options),
        file(file),
        selected(std::move(selected)),
        frontEnd(frontEnd),
        out(out),
        err(err),
        severalDevices(options.ports.size() > 1 || options.repeat) {
    if (frontEnd) {
      view = frontEnd->MakeView(file);
    } else {
      onTerminalView = !options.json && IsEscapeTerminal(out);
      view = MakeView(options, onTerminalView, out);
    }
    for (const std::string& port : options.ports) {
      ports.push_back(std::make_unique<PortRun>());
      ports.back()->place = ports.size() - 1;
      ports.back()->update = std::make_unique<PortUpdate>(port, SettingsFor(port, file));
    }
  }

  // Makes sure that everything the run writes besides its output can be
  // written: the log, and each port's XSVF debug log when the file has a JTAG
  // target. False once it has said why not; no device has been touched then.
  bool Prepare() {
    std::string failure;
    if (!options.logPath.empty() && !log.Open(options.logPath, &failure)) {
      ReportUnusable(options, failure, out, err);
      return false;
    }
    if (!HasJtagTarget(file)) return true;
    for (const auto& port : ports) {
      const std::string& path = port->update->Settings().debugLogPath;
      std::string reason;
      if (!CanWrite(path, &reason)) {
        ReportUnusable(options, FormatMessageText(MsgDebugLogUnwritable, path.c_str(), reason.c_str()),
                       out, err);
        return false;
      }
    }
    return true;
  }

  int Run() {
    OpenPorts();
    if (!severalDevices && !ports[0]->openFailure.empty()) return ExitUnusable;
    upd::CancelHandler cancel(options.yes, [this](const std::string& text) { Warn(text); });
    auto nextMirror = Clock::now();
    uint64_t endsSeen = 0;
    bool stopping = false;
    while (AnyActive()) {
      const upd::Stop stop = cancel.Poll(UpdatingStates(ports));
      if (stop == upd::Stop::EndNow) EndWithoutWaiting();
      stopping = stop == upd::Stop::Cancel;
      const auto now = Clock::now();
      for (auto& port : ports) Supervise(*port, now, stopping);
      if (now >= nextMirror) {
        Mirror(now);
        nextMirror += kMirrorPeriod;
      }
      // Once the last port is done there is nothing left to wait for.
      if (!AnyActive()) break;
      endsSeen = ends.WaitUntil(std::min(nextMirror, now + kInterruptPeriod), endsSeen);
    }
    ShowComments();
    if (severalDevices) return Summarize();
    const std::vector<DeviceResult>& results = ports[0]->results;
    if (!results.empty()) return std::max(results.back().exitStatus, LogStatus());
    // The log stopped the update before it began; a script still gets its result.
    if (options.json) {
      PrintJsonResult(out, Unusable(OnlyPort(options), ports[0]->notStarted, ExitLogFailed));
    }
    return ExitLogFailed;
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
    settings.selected = selected;
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
  // not there yet waits for its first device, and says so; otherwise it is
  // reported (with several ports, the others still run).
  void OpenPorts() {
    for (auto& port : ports) {
      if (port->update->Open(&port->openFailure)) {
        Start(*port);
      } else if (options.repeat) {
        port->openFailure.clear();
        port->phase = Phase::WaitingForDevice;
        port->nextTry = Clock::now() + kReopenPeriod;
        view->Message(port->update->Port(),
                      FormatMessageText(MsgWaitingForPort, port->update->Port().c_str()));
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

  // Logs the device update's start, then starts it; once the log cannot be
  // written, no device update starts any more.
  void Start(PortRun& port) {
    const auto startedAt = std::chrono::system_clock::now();
    if (logFailed || !LogStart(*port.update, startedAt)) {
      port.phase = Phase::Done;
      if (port.results.empty()) port.notStarted = MessageText(MsgLineStopped);
      return;
    }
    const std::string name = port.update->Port();
    const std::string debugLog = port.update->Settings().debugLogPath;
    port.ended = false;
    port.phase = Phase::Updating;
    PortRun* run = &port;
    port.update->Start(
        startedAt, [this, name](const std::string& text) { comments.Push(name, text); },
        // The player's own text for this is the window's; update-cli says it in
        // its words, with the system's reason.
        [this, name, debugLog](const std::string&) {
          comments.Push(name, FormatMessageText(MsgDebugLogUnwritable, debugLog.c_str(),
                                                std::strerror(errno)));
        },
        [this, run] {
          run->ended = true;
          ends.Notify();
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
          if (Held(port)) port.update->Withdraw();
        }
        break;
      case Phase::WaitingForDevice:
        if (stopping || logFailed || LineStopped()) {
          port.phase = Phase::Done;
          if (port.results.empty()) port.notStarted = NotStartedText(stopping);
        } else if (now >= port.nextTry && !Held(port)) {
          std::string failure;
          if (port.update->Open(&failure)) Start(port);
          port.nextTry = now + kReopenPeriod;
        }
        break;
      case Phase::Done:
        break;
    }
  }

  // The front end's say: the line has been stopped, or the port paused.
  bool LineStopped() const { return frontEnd && frontEnd->LineStopped(); }
  bool Held(const PortRun& port) const {
    return LineStopped() || (frontEnd && frontEnd->Paused(port.place));
  }

  std::string NotStartedText(bool stopping) const {
    if (stopping) return MessageText(MsgCancelledWaiting);
    return MessageText(logFailed ? MsgLineStopped : MsgStoppedWaiting);
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
    }
    // A device lost before it answered was never updated; its start is closed
    // all the same, so that the log shows no cut-off update.
    LogEnd(*port.update, last, result);
    const bool next = options.repeat && !stopping && !logFailed && !LineStopped() &&
                      !port.update->GaveUpWaiting() && (lost || result.exitStatus != ExitCancelled);
    port.phase = next ? Phase::WaitingForDevice : Phase::Done;
    // A withdrawn wait for the port's first device leaves it without any.
    if (!next && port.results.empty()) port.notStarted = NotStartedText(stopping);
    port.nextTry = Clock::now() + (lost ? kReopenPeriod : Clock::duration::zero());
  }

  bool LogStart(const PortUpdate& port, std::chrono::system_clock::time_point startedAt) {
    if (options.logPath.empty()) return true;
    return LogWritten(log.AppendStart(
        {startedAt, port.Port(), options.file, file.sha256, file.signature}));
  }

  void LogEnd(const PortUpdate& port, const PortDisplay& last, const DeviceResult& result) {
    if (options.logPath.empty()) return;
    DeviceLogEntry entry;
    entry.start = port.StartedAt();
    entry.port = port.Port();
    entry.file = options.file;
    entry.fileSha256 = file.sha256;
    entry.fileVerified = file.verified;
    entry.signature = file.signature;
    entry.ids = file.ids;
    entry.last = last.state;
    entry.seconds = port.Seconds();
    entry.statusLine = result.statusLine;
    entry.exitStatus = result.exitStatus;
    entry.warnings = port.Warnings();
    LogWritten(log.Append(entry));
  }

  // A log that cannot be written stops the line: said once, and the run's exit
  // status says so.
  bool LogWritten(bool written) {
    if (written || logFailed) return written;
    logFailed = true;
    const std::string reason = std::strerror(errno);
    std::fprintf(err, "%s\n%s\n",
                 FormatMessageText(MsgLogUnwritable, options.logPath.c_str(), reason.c_str()).c_str(),
                 MessageText(MsgLineStopped));
    return false;
  }

  int LogStatus() const {
    return logFailed ? ExitLogFailed : ExitAllUpdated;
  }

  // The user's last Ctrl-C: the updates still under way are logged as they stand
  // and the program ends at once, whatever their workers are doing.
  [[noreturn]] void EndWithoutWaiting() {
    const std::string text = MessageText(MsgEndedWithoutWaiting);
    for (auto& port : ports) {
      if (port->phase != Phase::Updating) continue;
      DeviceResult result;
      result.statusLine = text;
      result.exitStatus = ExitCancelled;
      LogEnd(*port->update, port->update->Display(Clock::now()), result);
    }
    std::fprintf(err, "\n%s\n", text.c_str());
    std::fflush(out);
    std::fflush(err);
    std::_Exit(ExitCancelled);
  }

  void ShowComments() {
    for (const auto& [port, text] : comments.Take()) {
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
      port->update->State().refreshNeeded.store(false);
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

  // The result a port without any device update stands for: one device not
  // updated when the port could not be opened or the log stopped the line, none
  // when it was cancelled while waiting for its first device.
  static DeviceResult NotStartedResult(const PortRun& port, int* devices) {
    const std::string& name = port.update->Port();
    if (!port.openFailure.empty()) {
      ++*devices;
      return Unusable(name, FirstLine(port.openFailure));
    }
    if (port.notStarted == MessageText(MsgCancelledWaiting)) {
      return Unusable(name, port.notStarted, ExitCancelled);
    }
    if (port.notStarted == MessageText(MsgStoppedWaiting)) {
      return Unusable(name, port.notStarted, ExitAllUpdated);
    }
    ++*devices;
    return Unusable(name, port.notStarted, ExitLogFailed);
  }

  int Summarize() {
    RunSummary summary;
    int updated = 0;
    int devices = 0;
    for (auto& port : ports) {
      std::vector<DeviceResult>& results = port->results;
      if (results.empty()) {
        results.push_back(NotStartedResult(*port, &devices));
      } else {
        for (const DeviceResult& result : results) {
          ++devices;
          if (result.exitStatus == ExitAllUpdated) ++updated;
        }
      }
      for (const DeviceResult& result : results) {
        summary.exitStatus = std::max(summary.exitStatus, result.exitStatus);
      }
      DeviceResult last = results.back();
      last.port = port->update->Port();
      summary.ports.push_back(last);
    }
    summary.exitStatus = std::max(summary.exitStatus, LogStatus());
    summary.lastLine = FormatMessageText(MsgDevicesResult, updated, devices);
    view->Finish(summary);
    return summary.exitStatus;
  }

  const CliOptions& options;
  const FileSummary& file;
  const std::vector<bool> selected;
  LineFrontEnd* frontEnd;  // or null: update-cli's own view
  std::FILE* out;
  std::FILE* err;
  const bool severalDevices;
  DeviceLog log;
  bool logFailed = false;
  bool onTerminalView = false;
  std::unique_ptr<ProgressView> view;
  // The workers call into these: they are declared before the ports, whose
  // updates join their workers, so that they outlive every worker.
  EndSignal ends;
  CommentQueue comments;
  std::vector<std::unique_ptr<PortRun>> ports;
};

// The update command, shown by update-cli's views or by the front end's.
int RunUpdate(const CliOptions& options, LineFrontEnd* frontEnd, std::FILE* out, std::FILE* err) {
  const upd::RunSignals signals;
  FileSummary file;
  std::string reason;
  std::string failure;
  TrustedKeys trusted;
  if (!LoadTrustedKeys(options, &trusted, &failure)) return ReportUnusable(options, failure, out, err);
  if (!ReadFileThrough(options.file, trusted, &file, &reason, &failure)) {
    // The reason stands on the line before the status line.
    if (!reason.empty()) std::fprintf(err, "%s\n", TerminalText(reason).c_str());
    return ReportUnusable(options, failure, out, err);
  }
  std::vector<bool> selected;
  std::string error;
  if (!ChooseTargets(options, file, &selected, &error)) {
    if (options.json) PrintJsonResult(out, Unusable("", "update-cli: " + error, kExitUsage));
    return ReportUsageError(err, "update-cli", TerminalText(error));
  }
  if (!file.verified) {
    const std::string note = FormatMessageText(MsgNoChecksum, options.file.c_str());
    std::fprintf(err, "%s\n", TerminalText(note).c_str());
  }
  if (file.signature.state == SignatureState::UntrustedKey) {
    const std::string note = FormatMessageText(MsgSignedUntrusted, options.file.c_str(),
                                               file.signature.keyId.c_str());
    std::fprintf(err, "%s\n", TerminalText(note).c_str());
  }
  for (const std::string& port : options.ports) {
    const std::string latency = LatencyAdvice(DevicePathOfArgument(port));
    if (!latency.empty()) std::fprintf(err, "%s\n", latency.c_str());
  }
  if (options.verbosity == Verbosity::Verbose) DescribeUpdate(options, file, selected, out);
  UpdateRun run(options, file, std::move(selected), frontEnd, out, err);
  if (!run.Prepare()) return ExitUnusable;
  return run.Run();
}

}  // namespace

int RunUpdateCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  return RunUpdate(options, nullptr, out, err);
}

int RunUpdateLine(const CliOptions& options, LineFrontEnd& frontEnd, std::FILE* out,
                  std::FILE* err) {
  return RunUpdate(options, &frontEnd, out, err);
}
