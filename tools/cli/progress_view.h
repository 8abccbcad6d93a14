#pragma once
// How update-cli shows its updates: a block redrawn in place on a terminal, one
// line per change otherwise (and with TERM=dumb), or JSON lines for scripts and
// other front ends. With several ports every port has its block and its lines
// carry the port; every JSON object but the summary carries its "port", with one
// port too. What came from outside (names, comments, paths, ports) is shown
// through xsvf/shown_text.h: its controls escaped on the terminal and in lines,
// JSON valid UTF-8 (tools/cli/json_text.h).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/update_state.h"

// What the window would show of a row, copied out of the shared record.
struct RowSnapshot {
  std::string mark;  // empty, or the multiplicity prefix
  std::string name;
  int percent = 0;
  std::string status;
  int64_t done = 0;  // stored bytes read (firmware) or XSVF commands played
  TargetOutcome outcome = TargetOutcome::NotReached;
  int multiplicity = 1;  // the units the target counts for
  // The row's label as the window shows it: the mark, then the name.
  std::string Label() const { return mark + name; }
  bool operator==(const RowSnapshot& other) const {
    return mark == other.mark && name == other.name && percent == other.percent &&
           status == other.status && done == other.done;
  }
};

struct StateSnapshot {
  std::string statusLine;
  std::vector<RowSnapshot> rows;
};

StateSnapshot TakeSnapshot(const UpdateState& state);

// How big a target is, from the update file: for showing how far it has got.
struct TargetSize {
  int64_t storedBytes = 0;  // its record's stored bytes
  int64_t commands = 0;     // a JTAG target's XSVF commands (0 for other targets)
};

// One port's update as a view shows it.
struct PortDisplay {
  std::string port;  // as given; empty when update-cli has one port
  StateSnapshot state;
  std::vector<TargetSize> sizes;  // per row
  std::string timing;  // elapsed time, rate and time left, or what the port waits for
  bool deviceAnswered = false;        // the device has answered: the update is under way
  std::optional<double> secondsLeft;  // once the rate is known
  bool operator==(const PortDisplay& other) const {
    return port == other.port && state.statusLine == other.state.statusLine &&
           state.rows == other.state.rows && timing == other.timing;
  }
};

// How one device update ended.
struct DeviceResult {
  std::string port;         // empty with one port
  std::string statusLine;   // the final status line
  int exitStatus = 0;
  bool hasResult = false;   // the update ran: successes and total count its targets
  int successes = 0;
  int total = 0;
  std::string debugLogPath;  // the XSVF debug log, when the update ended on an XSVF error
  std::chrono::system_clock::time_point startedAt;  // as the log has it
  double seconds = 0;                               // the update's length
};

// The end of a run over several devices: one result per port (its last device),
// and "n of m devices updated successfully."
struct RunSummary {
  std::vector<DeviceResult> ports;
  std::string lastLine;
  int exitStatus = 0;
};

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // Called whenever the records may have changed; prints what did.
  virtual void Show(const std::vector<PortDisplay>& now) = 0;
  // A text of update-cli's own from outside the records, such as the Ctrl-C
  // warning, with the line ends it has; `port` empty for every port.
  virtual void Message(const std::string& port, const std::string& text) = 0;
  // A comment of the XSVF program being played: the program's text, shown as one
  // line whatever it holds.
  virtual void Comment(const std::string& port, const std::string& text) = 0;
  // One device update has ended: its last state and its outcome. With one port and
  // one device, the view's last line is then the final status line.
  virtual void DeviceEnded(const PortDisplay& last, const DeviceResult& result) = 0;
  // The run over several devices has ended.
  virtual void Finish(const RunSummary& summary) = 0;
};

// `width` gives the terminal's columns, asked again at every redraw so that the
// block is refitted when the terminal changes size. With `colour` the final status
// lines are green for an update that passed, red for one that failed and yellow
// for one that was cancelled.
std::unique_ptr<ProgressView> MakeTerminalView(std::FILE* out, int (*width)(), bool colour = false);

// What the line view prints: every change; only each device's final rows and
// status line (--no-progress); only its final status line (--quiet).
enum class LineDetail { Progress, Outcome, StatusOnly };
std::unique_ptr<ProgressView> MakeLineView(std::FILE* out, LineDetail detail = LineDetail::Progress,
                                           bool colour = false);

// `text` in the colour of an update's exit status: green for 0, yellow for a
// cancel, red for any other; as it is without `colour`.
std::string InStatusColour(const std::string& text, int exitStatus, bool colour);
// Every JSON object but the summary carries "port": `onlyPort` (update-cli's one
// port) where a display or result names none.
std::unique_ptr<ProgressView> MakeJsonView(std::FILE* out, const std::string& onlyPort);

// The JSON object of a device update's outcome, as the JSON view prints it:
//   {"event":"result","port":...|null,"successes":n|null,"total":m|null,"status":...,"exit":x}
// with "debugLog" when the update ended on an XSVF error. Also the last word of an
// update that could not start; its port is null when it concerns no one port.
void PrintJsonResult(std::FILE* out, const DeviceResult& result);

// "28.8 of 64.0 KiB", "57 of 57 bytes" for a target below 1 KiB, or "1234 of 5678
// commands"; empty when the size is unknown.
std::string DoneOfTotal(const RowSnapshot& row, const TargetSize& size);
