#pragma once
// The record that the dialog (or another front end) and the update worker share
// while an update runs, and the global pointer through which the worker side
// reaches it.
//
// Threads: the front end's thread and one worker thread. Flags and numbers that
// both threads touch are atomic. Texts are SharedText: each one is replaced and
// copied under its own lock, so no text is ever read half-replaced. The worker
// writes `runState` last; since the texts' locks and the atomic store order the
// writes, a reader that sees Aborted or Finished also sees every text written
// before it.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "link/serial_port.h"

enum RunState : int32_t { Idle = 0, Running = 1, Aborted = 2, Finished = 3 };

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

struct TargetRow {
  std::atomic<int32_t> percent{0};  // 0 to 100
  SharedText status;                // empty, or message 116, 120, 121 or 122
  SharedText name;                  // from the file header, trailing white space removed
  SharedText mark;                  // empty, or the multiplicity prefix "%d *  "
};

struct UpdateState {
  SharedText filePath;
  SharedText statusLine;
  int32_t formatVersion = 0;                // index into knownFormats
  std::atomic<int32_t> cancelRequested{0};
  std::atomic<uint8_t> deviceAnswered{0};
  std::atomic<int32_t> refreshNeeded{0};
  std::FILE* updateFile = nullptr;          // byte mode, positioned by the reader
  CSerialPort port;
  uint32_t targetCount = 0;
  std::atomic<uint32_t> currentTarget{0};
  int32_t targetFlags = 0;
  int32_t targetKind = 0;
  int32_t targetLength = 0;
  int32_t consumed = 0;
  int32_t runCount = 0;
  uint8_t targetEnded = 0;
  std::atomic<int32_t> runState{Idle};
  TargetRow rows[kMaxTargets];
  std::string exeDir;

  // Cleared when an update is launched; set by the worker, with its result line,
  // just before it writes runState. A cancel confirmed from then on changes no
  // text, so that it cannot overwrite the result of an update that has just
  // finished. Both are guarded by endingLock, which the worker releases before
  // its last write, runState.
  std::mutex endingLock;
  bool ending = false;

  // Row `currentTarget`, the one the worker side writes; the index is kept below
  // kMaxTargets so that no code can write past the last row.
  TargetRow& CurrentRow();
};

// The update in progress, for code on the worker thread (set by UpdateWorker).
extern UpdateState* g_pUpdateState;
