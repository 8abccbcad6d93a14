#pragma once
// What the fuzz targets share: a quiet host, the fuzzer's input as an update file,
// and the check that turns a broken promise of the code under test into a finding.
// The targets that play XSVF programs leave the player's xsvf_debug.txt in the
// working directory, as the updater does: scripts/fuzz runs them in a scratch one.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/update_state.h"
#include "engine/update_worker.h"

// An update's host whose XSVF comments and messages go nowhere.
UpdateHost QuietHost();

// Makes the bytes the state's update file, as OpenUpdateFile does with a file it
// has read: true with its header read and shown in the state, false with the
// message why not.
bool LoadFuzzFile(UpdateState& state, const uint8_t* data, size_t size, std::string* message);

// Reports a broken invariant as a finding: prints what was expected and aborts, so
// that the fuzzer keeps the input that caused it.
void FuzzCheck(bool holds, const char* what);

// Every row's progress stays within 0 to 100, whatever the file or the device did.
void CheckRowProgress(const UpdateState& state);
