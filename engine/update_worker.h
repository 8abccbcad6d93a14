#pragma once
// The worker thread that performs one update, from waking the boot loader to the
// result line. It writes every outcome into the UpdateState (rows, status line,
// run state last) and never touches a window, the port's or the file's lifetime.

#include <functional>

#include "engine/update_state.h"

// The thread function: argument is the UpdateState. Returns 0.
int UpdateWorker(void* state);

// Starts UpdateWorker on a thread of its own that nobody joins. `ended`, if set,
// is called on that thread after the worker has written runState, its last field,
// so that a front end can wait for the end instead of polling for it.
void StartUpdateWorker(UpdateState& state, std::function<void()> ended = nullptr);
