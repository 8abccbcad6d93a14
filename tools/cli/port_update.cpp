#include "tools/cli/port_update.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "engine/messages.h"
#include "engine/update_session.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/device_log.h"
#include "tools/cli/serial_ports.h"
#include "tools/cli/trace_channel.h"
#include "xsvf/xsvf_interpreter.h"

namespace {

// "0:42" or "1:02:03".
std::string Duration(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

double SecondsBetween(PortUpdate::Clock::time_point from, PortUpdate::Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// A row that has come to its end, one way or another, counts whole.
bool RowEnded(const RowSnapshot& row) {
  return row.percent == 100 || !row.status.empty();
}

// The update's stored bytes so far and in all; targets left out count neither way.
std::pair<double, double> StoredBytes(const StateSnapshot& state,
                                      const std::vector<TargetSize>& sizes) {
  double done = 0;
  double total = 0;
  for (size_t i = 0; i < state.rows.size() && i < sizes.size(); ++i) {
    if (state.rows[i].outcome == TargetOutcome::NotSelected) continue;
    const double bytes = static_cast<double>(sizes[i].storedBytes);
    total += bytes;
    done += RowEnded(state.rows[i]) ? bytes : bytes * state.rows[i].percent / 100;
  }
  return {done, total};
}

std::string Rate(double bytesPerSecond) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024);
  return text;
}

}  // namespace

std::string PortLabel(const std::string& port) {
  return port.substr(port.find_last_of("/\\") + 1);
}

std::string PathForPort(const std::string& path, const std::string& label) {
  const size_t folder = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (folder == std::string::npos || dot > folder);
  return hasExtension ? path.substr(0, dot) + "-" + label + path.substr(dot)
                      : path + "-" + label;
}

int DeviceExitStatus(UpdateState& state, bool gaveUpWaiting) {
  if (gaveUpWaiting) return ExitOtherError;
  if (state.runState.load() == RunState::Aborted) {
    return state.cancelRequested.load() ? ExitCancelled : ExitOtherError;
  }
  const UpdateResult ended = EndedResult(state);
  if (!ended.completed) return ExitOtherError;
  return ended.successes == ended.total ? ExitAllUpdated : ExitSomeFailed;
}

PortUpdate::PortUpdate(std::string portArgument, PortSettings portSettings)
    : port(std::move(portArgument)),
      devicePath(DevicePathOfArgument(port)),
      settings(std::move(portSettings)) {}

PortUpdate::~PortUpdate() {
  worker.Join();
  CloseUpdateResources(state);
  if (trace) std::fclose(trace);
}

bool PortUpdate::Open(std::string* failure) {
  state.filePath.Set(settings.file);
  UseUpdateFile(state, *settings.snapshot, *settings.header);
  if (OpenPort(failure)) return true;
  CloseUpdateResources(state);
  return false;
}

bool PortUpdate::OpenPort(std::string* failure) {
  PortOpenFailure why;
  std::unique_ptr<SerialChannel> line =
      settings.openLine ? settings.openLine(devicePath, &why)
                        : OpenSystemSerialPort(devicePath, kLineBaudRate, kOpenTimeoutMs, &why);
  if (!line) {
    *failure = PortOpenFailureText(port, why);
    return false;
  }
  if (!settings.tracePath.empty()) {
    if (!trace) trace = std::fopen(settings.tracePath.c_str(), "a");
    if (!trace) {
      *failure = "Cannot write the trace " + settings.tracePath + ".";
      return false;
    }
    // Appended to what earlier runs traced: each opening has a heading line
    // of its own, from which its times count.
    line = std::make_unique<TraceChannel>(
        std::move(line), trace,
        port + " opened at " + UtcTime(std::chrono::system_clock::now()) + "; seconds from here");
  }
  state.port.Attach(std::move(line));
  DrainPort(state);
  return true;
}

void PortUpdate::Start(std::chrono::system_clock::time_point at, CommentSink comment,
                       std::function<void(const std::string&)> showMessage,
                       std::function<void()> ended) {
  UpdateHost host;
  host.player.debugLogPath = settings.debugLogPath;
  host.player.stepFrames = settings.stepFrames;
  host.selected = settings.selected;
  // A warning (a device that did not confirm the end of a JTAG program) is shown
  // like the program's comments, in the output, and kept for the log.
  {
    std::lock_guard<std::mutex> hold(warningsLock);
    warnings.clear();
  }
  host.warning = [this, comment](const std::string& text) {
    {
      std::lock_guard<std::mutex> hold(warningsLock);
      warnings.push_back(text);
    }
    comment(text);
  };
  host.player.comment = std::move(comment);
  host.player.showMessage = std::move(showMessage);
  ClearRowsForUpdate(state);
  gaveUpWaiting = false;
  deviceLost = false;
  answered.reset();
  launched = Clock::now();
  startedAt = at;
  LaunchUpdate(state, worker, host, std::move(ended));
}

double PortUpdate::Seconds() const {
  return InProgress() ? SecondsBetween(launched, Clock::now()) : seconds;
}

bool PortUpdate::InProgress() const {
  return state.runState.load() == RunState::Running;
}

void PortUpdate::Supervise(Clock::time_point now, bool waitForNextDevice) {
  if (!InProgress() || state.deviceAnswered.load()) return;
  const bool waitedOut =
      settings.waitSeconds && SecondsBetween(launched, now) >= *settings.waitSeconds;
  const bool portGone = waitForNextDevice && state.port.Gone();
  if (!waitedOut && !portGone) return;
  // Nothing has been sent but wake-up probes: the update ends at once.
  gaveUpWaiting = waitedOut;
  deviceLost = portGone && !waitedOut;
  state.cancelRequested.store(true);
}

void PortUpdate::Withdraw() {
  if (!InProgress() || state.deviceAnswered.load()) return;
  deviceLost = true;
  state.cancelRequested.store(true);
}

std::optional<double> PortUpdate::SecondsLeft(Clock::time_point now) const {
  if (!InProgress() || !answered) return std::nullopt;
  const auto [done, total] = StoredBytes(TakeSnapshot(state), settings.sizes);
  const double elapsed = SecondsBetween(*answered, now);
  if (elapsed < 1 || done <= 0) return std::nullopt;
  return (total - done) / (done / elapsed);
}

std::string PortUpdate::Timing(Clock::time_point now) {
  if (!InProgress()) return "";
  if (!state.deviceAnswered.load()) {
    return "waiting for the device " + Duration(SecondsBetween(launched, now));
  }
  if (!answered) answered = now;
  const std::string timing = Duration(SecondsBetween(launched, now));
  const std::optional<double> left = SecondsLeft(now);
  if (!left) return timing;
  const double done = StoredBytes(TakeSnapshot(state), settings.sizes).first;
  return timing + ", " + Rate(done / SecondsBetween(*answered, now)) + ", " + Duration(*left) +
         " left";
}

PortDisplay PortUpdate::Display(Clock::time_point now) {
  PortDisplay display;
  display.port = settings.onePort ? "" : port;
  display.state = TakeSnapshot(state);
  display.sizes = settings.sizes;
  display.timing = Timing(now);
  display.deviceAnswered = InProgress() && state.deviceAnswered.load();
  display.secondsLeft = SecondsLeft(now);
  return display;
}


DeviceResult PortUpdate::Finish(PortDisplay* last) {
  worker.Join();
  seconds = SecondsBetween(launched, Clock::now());
  *last = Display(Clock::now());
  const UpdateResult ended = EndedResult(state);
  DeviceResult result;
  result.port = last->port;
  result.statusLine = last->state.statusLine;
  result.exitStatus = DeviceExitStatus(state, gaveUpWaiting);
  result.hasResult = true;
  result.successes = ended.successes;
  result.total = ended.total;
  result.startedAt = startedAt;
  result.seconds = seconds;
  if (gaveUpWaiting) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", *settings.waitSeconds);
    result.statusLine = "No device answered on " + port + " within " + limit + " seconds.";
  } else if (result.exitStatus == ExitCancelled) {
    // Cancelled before the device answered, the status line still asks for it.
    result.statusLine = MessageText(MsgCancelledByUser);
  }
  const int32_t playerError = state.playerError.load();
  if (playerError != XsvfOk && playerError != XsvfDebugFile) {
    result.debugLogPath = std::filesystem::absolute(settings.debugLogPath).string();
  }
  CloseUpdateResources(state);
  state.runState.store(RunState::Idle);
  return result;
}

std::vector<std::string> PortUpdate::Warnings() const {
  std::lock_guard<std::mutex> hold(warningsLock);
  return warnings;
}
