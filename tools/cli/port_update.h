#pragma once
// One port of update-cli: the record, the port and the worker of each device
// update on it, how long it has been going, and how it ended. With --repeat a port
// serves one device after another: between them it waits for the next device's
// port to come back (many devices bring their own USB serial adapter, which goes
// when they are unplugged).

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "engine/update_state.h"
#include "engine/update_worker.h"
#include "tools/cli/progress_view.h"

// What every port's update is given.
struct PortSettings {
  std::string file;                   // the update file's path
  // Its snapshot as checked, what every device gets, and its header; both owned
  // by the run.
  const UpdateFileSnapshot* snapshot = nullptr;
  const UpdateFileHeader* header = nullptr;
  std::vector<TargetSize> sizes;      // of its targets, for the progress shown
  std::string debugLogPath;           // this port's XSVF debug log
  std::string tracePath;              // this port's trace, or empty
  std::optional<double> waitSeconds;  // give up waking the device after this long
  bool onePort = true;                // the port is not named in what is shown
  StepFrames stepFrames = StepFrames::Batched;  // how JTAG TAP steps travel
  std::vector<bool> selected;         // per record: programmed; empty: every one
  LineOpener openLine;                // how the port is reached, if not as a system device
};

class PortUpdate {
 public:
  using Clock = std::chrono::steady_clock;

  PortUpdate(std::string port, PortSettings settings);
  ~PortUpdate();
  PortUpdate(const PortUpdate&) = delete;
  PortUpdate& operator=(const PortUpdate&) = delete;

  const std::string& Port() const { return port; }
  const PortSettings& Settings() const { return settings; }
  UpdateState& State() { return state; }

  // Takes the update file's snapshot, opens the port and drops what the device
  // sent before. False with the text for the user when the port cannot be opened.
  bool Open(std::string* failure);

  // Starts the worker; the program's comments and the update's warnings go to
  // `comment`, a debug log that cannot be created is told to `showMessage`, and
  // `ended` is called, all on the worker's thread, when the update has ended.
  // `at` is the moment the update counts as started (for the log).
  void Start(std::chrono::system_clock::time_point at, CommentSink comment,
             std::function<void(const std::string&)> showMessage, std::function<void()> ended);
  bool InProgress() const;

  // Looked at while the update runs: gives the device up when it has not answered
  // within the wait, or (for --repeat) when its port has gone before it answered.
  void Supervise(Clock::time_point now, bool waitForNextDevice);
  // Ends the update if its device has not answered yet (nothing but wake-up probes
  // has been sent): a front end that holds the port back from its next device.
  void Withdraw();
  // The device's port went away, or the update was withdrawn, before the device
  // answered: the update does not count.
  bool DeviceLost() const { return deviceLost; }
  // No device answered within the wait.
  bool GaveUpWaiting() const { return gaveUpWaiting; }

  // The port as the views show it now.
  PortDisplay Display(Clock::time_point now);

  // Once the worker has ended: joins it, and returns how the update went; the file
  // and the port are closed again.
  DeviceResult Finish(PortDisplay* last);

  // The moment the last update started, and its length: so far while it runs,
  // in all once it ended.
  std::chrono::system_clock::time_point StartedAt() const { return startedAt; }
  // The warnings the last update gave (a device that did not confirm the end of a
  // JTAG program), for the log.
  std::vector<std::string> Warnings() const;
  double Seconds() const;

 private:
  bool OpenPort(std::string* failure);
  std::string Timing(Clock::time_point now);
  // The time the update still needs at the rate since the device answered; none
  // before a second of it has passed.
  std::optional<double> SecondsLeft(Clock::time_point now) const;

  std::string port;
  std::string devicePath;
  PortSettings settings;
  UpdateState state;
  UpdateThread worker;  // after the record: joined before the record goes
  std::FILE* trace = nullptr;
  Clock::time_point launched;
  std::optional<Clock::time_point> answered;  // when the device first answered
  std::chrono::system_clock::time_point startedAt;
  double seconds = 0;
  bool gaveUpWaiting = false;
  bool deviceLost = false;
  // Written by the worker, read once it has ended.
  mutable std::mutex warningsLock;
  std::vector<std::string> warnings;
};

// The exit status of an update that has ended, from the record's data alone (its
// run state, the cancel request and the counted result), never from its texts;
// `gaveUpWaiting`: no device answered within --wait.
int DeviceExitStatus(UpdateState& state, bool gaveUpWaiting);

// The name a port goes by in file names: the last part of its path (ttyUSB0,
// COM3).
std::string PortLabel(const std::string& port);

// `path` with "-LABEL" put before its extension: xsvf_debug.txt, ttyUSB0 ->
// xsvf_debug-ttyUSB0.txt.
std::string PathForPort(const std::string& path, const std::string& label);
