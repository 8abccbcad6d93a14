#pragma once
// The record that a front end (the window, update-cli) and the update worker
// share while an update runs: the update file and what its header check found,
// the port, one display row per target, the status line, and the flags that carry
// requests and notices between the two threads. One record per update: several
// updates run side by side with a record each.
//
// How each target ended and how the update ended are kept as data (TargetOutcome,
// multiplicity, UpdateResult); the texts shown are made from them, and whatever
// reads an outcome (exit statuses, logs) reads the data, never the texts.
//
// Threads: the front end's thread and one worker thread. Flags and numbers that
// both threads touch are atomic. Texts are SharedText: each one is replaced and
// copied under its own lock, so no text is ever read half-replaced. Every ending
// of an update goes through EndUpdate, which writes runState last; since the
// texts' locks and the atomic store order the writes, a reader that sees Aborted
// or Finished also sees every text written before it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/update_file_copy.h"
#include "link/serial_port.h"

enum class RunState : int32_t { Idle = 0, Running = 1, Aborted = 2, Finished = 3 };

// The record holds one display row per target, no more.
constexpr uint32_t kMaxTargets = 10;

// A text replaced by one thread while another may copy it.
class SharedText {
 public:
  void Set(std::string newText);
  std::string Get() const;

 private:
  mutable std::mutex lock;
  std::string text;
};

// How a target's row stands: NotReached until the worker decides its fate;
// PartlySent when the update ended while its data was being sent.
enum class TargetOutcome : int32_t {
  NotReached,
  Updated,
  Failed,         // "unsuccessful"
  MissingTarget,  // the device has no such target
  NotHandled,     // a kind the updater does not handle
  Cancelled,
  PartlySent,
  // Left out of this update by the user: not programmed, and counted neither as
  // a success nor as a failure.
  NotSelected,
};

struct TargetRow {
  std::atomic<int32_t> percent{0};  // 0 to 100
  // How far the target has got: stored bytes of its record read for firmware, XSVF
  // commands played for a JTAG target.
  std::atomic<int64_t> done{0};
  SharedText status;                // the text of `outcome` (OutcomeText)
  SharedText name;                  // from the file header, trailing white space removed
  SharedText mark;                  // empty, or the multiplicity prefix "%d *  "
  std::atomic<TargetOutcome> outcome{TargetOutcome::NotReached};
  // The units the target counts for: what the device reported for a firmware
  // transfer that serves several, 1 otherwise.
  std::atomic<int32_t> multiplicity{1};
  uint32_t headerId = 0;            // the id on the header's name line, for listings
};

// An update file as it was copied once, when the update was asked for: the bytes
// that are checked, hashed and programmed, whatever becomes of the file on disk
// afterwards. Never changed once copied; every device of a run shares them.
struct UpdateFileSnapshot {
  std::shared_ptr<const UpdateFileCopy> copy;  // null: no file
  uint64_t recordsStart = 0;                   // just after the header
};

// How an update ended, counted from its rows when it ended.
struct UpdateResult {
  bool completed = false;  // every record was worked through and the end sent
  int32_t successes = 0;   // units of the targets updated
  // Units of every record worked through when completed; of every target of the
  // file, reached or not, when the update ended early.
  int32_t total = 0;
};

struct UpdateState {
  SharedText filePath;
  SharedText statusLine;
  int32_t formatVersion = 0;                // index into knownFormats
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> deviceAnswered{false};
  std::atomic<bool> refreshNeeded{false};
  UpdateFileSnapshot updateFile;            // its header checked; bytes null when none
  CSerialPort port;
  uint32_t targetCount = 0;
  std::atomic<uint32_t> currentTarget{0};
  std::atomic<RunState> runState{RunState::Idle};
  // The XSVF player's error code when the update ended on one (0 otherwise), so
  // that a front end can point to the player's debug log.
  std::atomic<int32_t> playerError{0};
  TargetRow rows[kMaxTargets];
  std::string exeDir;

  // Cleared when an update is launched; set by EndUpdate, with the ending's texts,
  // just before it writes runState. A cancel confirmed from then on changes no
  // text, so that it cannot overwrite the reason an update ended for. Both are
  // guarded by endingLock, which EndUpdate releases before its last write,
  // runState.
  std::mutex endingLock;
  bool ending = false;
  UpdateResult result;  // written by EndUpdate; read it through EndedResult

  // Row `currentTarget`, the one the worker side writes; the index is kept below
  // kMaxTargets so that no code can write past the last row.
  TargetRow& CurrentRow();
};

// How an update ended: the run state, the text that says why and how the target
// under way ended.
struct UpdateEnding {
  RunState runState = RunState::Finished;  // Aborted or Finished
  std::string statusLine;        // empty: the status line stays as it is
  // NotReached: the current row stays as it is.
  TargetOutcome rowOutcome = TargetOutcome::NotReached;
  // Every record was worked through: the status line is the result line, made
  // from the counts.
  bool completed = false;
};

// The row's status text for an outcome; "" for one the row shows by its percentage.
const char* OutcomeText(TargetOutcome outcome);

// Sets the row's outcome and the status text that shows it.
void SetRowOutcome(TargetRow& row, TargetOutcome outcome);

// The one way every update ends: under endingLock it writes the ending's texts,
// counts the rows into the result and marks the update as ending, so that a
// cancel confirmed at the same moment cannot replace them; then, as the worker's
// last write, runState.
void EndUpdate(UpdateState& state, const UpdateEnding& ending);

// The result EndUpdate wrote (all zero while the update runs).
UpdateResult EndedResult(UpdateState& state);
