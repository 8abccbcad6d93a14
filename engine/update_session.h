#pragma once
// The steps around an update that every front end takes in the same way: checking
// the update file, opening and draining the port, starting the worker, the user's
// confirmed cancel, and releasing the file and the port once the update has ended.
// They run on the front end's thread.

#include <functional>
#include <string>

#include "engine/update_file.h"
#include "engine/update_state.h"
#include "engine/update_worker.h"

// Reads the file that filePath names whole, as the snapshot the update is made
// from, and its header (dropping one still held), and makes it the record's file
// (UseUpdateFile). False with the message for the user (MsgNoFileSelected for an
// empty path, MsgFileNotFound when it cannot be opened, MsgFileNotCopied when too
// large, MsgFileNotReadable when it cannot be read, MsgWrongFileformat or
// MsgWrongVersion for a bad header).
bool OpenUpdateFile(UpdateState& state, std::string* message);

// Makes the snapshot the record's update file and shows what its header says:
// formatVersion, targetCount, and every listed row's name and headerId (mark
// emptied).
void UseUpdateFile(UpdateState& state, const UpdateFileSnapshot& file,
                   const UpdateFileHeader& header);

// The line to the device: 57600 baud, and the read time-out (ms) a port is opened
// with.
constexpr uint32_t kLineBaudRate = 57600;
constexpr uint32_t kOpenTimeoutMs = 2000;

// Opens the port at 57600 baud with a 2000 ms time-out and drains it.
bool OpenDevicePort(UpdateState& state, const std::string& devicePath);

// Drops whatever the device sent before the update: reads with a 1 ms time-out
// until one gets nothing, for a second at most. The time-out stays at 1 ms.
void DrainPort(UpdateState& state);

// Status line "switch device off then on", every row back to 0%, not reached,
// one unit and no status.
void ClearRowsForUpdate(UpdateState& state);

// Marks the rows of the targets `host` leaves out "not selected", clears the
// cancel request and the last result, sets Running and starts the worker on
// `thread`; `ended`, if set, is called on the worker thread once the
// update has ended. The caller joins `thread` before it releases the update.
void LaunchUpdate(UpdateState& state, UpdateThread& thread, UpdateHost host,
                  std::function<void()> ended = nullptr);

// The user confirmed the cancel: the worker stops at its next check; the rows not
// yet finished say "cancelled" and the status line says so (unless the worker has
// already ended the update).
void ConfirmCancel(UpdateState& state);

void CloseUpdateFile(UpdateState& state);

// Closes the update file and the port (the worker has ended the update).
void CloseUpdateResources(UpdateState& state);
