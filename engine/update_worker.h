#pragma once
// The worker that performs one update, from waking the boot loader to the result
// line. It writes every outcome into the UpdateState (rows, status line, and at
// the end, through EndUpdate, runState) and never touches a window, nor the
// port's or the file's lifetime.
//
// Everything else one update needs is built by the worker for that update: the
// reader of the update file's records, the reply reader with its counters, and
// for each JTAG target the framed link and the player's run. Updates on several
// records therefore run side by side.

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/update_state.h"
#include "xsvf/xsvf_run.h"

// What a front end gives an update besides its record.
struct UpdateHost {
  // How each JTAG target's program is played: where its debug log goes, where
  // its comments go and how the user is told that a debug log cannot be created
  // (all called on the worker thread), how its TAP steps travel. The worker sets
  // `progress` and `endNotConfirmed` itself: what the front end puts there is
  // not used.
  XsvfRunHost player;
  // Warns the user of something that did not stop the update (a JTAG target's
  // device that did not confirm the end of its program), on the worker thread.
  // Empty: as player.showMessage.
  std::function<void(const std::string& text)> warning;
  // The targets to program, one flag per record in the file's order; empty: all
  // of them. The boot loader selects each target by its id and takes any of them
  // on its own, so a target left out is neither queried nor selected: its record
  // is passed over and its row says "not selected".
  std::vector<bool> selected;
  bool Selects(uint32_t record) const { return record >= selected.size() || selected[record]; }
};

// Runs one update on the calling thread: the update file stands just after its
// header, the port is open. The outcome is in the record.
void UpdateWorker(UpdateState& state, const UpdateHost& host);

// The thread of one update, owned by the front end that launched it. Joining
// returns once the worker has ended its update (and called `ended`); the owner
// joins before it releases the record, the port or the file, and at the latest
// when it is destroyed.
class UpdateThread {
 public:
  UpdateThread() = default;
  ~UpdateThread();
  UpdateThread(const UpdateThread&) = delete;
  UpdateThread& operator=(const UpdateThread&) = delete;

  // Runs UpdateWorker on the thread (joining the previous update's first).
  // `ended`, if set, is called on that thread after the worker has written
  // runState, its last field, so that a front end can wait for the end instead
  // of polling for it.
  void Start(UpdateState& state, UpdateHost host, std::function<void()> ended = nullptr);
  void Join();

 private:
  std::thread thread;
};
