#pragma once
// What the fuzz targets share: a quiet host, the fuzzer's input as an update file,
// and the check that turns a broken promise of the code under test into a finding.
// The targets that play XSVF programs leave the player's xsvf_debug.txt in the
// working directory, as the updater does: scripts/fuzz runs them in a scratch one.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/update_state.h"
#include "engine/update_worker.h"

// An update's host whose XSVF comments and messages go nowhere.
UpdateHost QuietHost();

// The bytes as an update file, opened in byte mode at its start. The same file is
// reused by every run of the process: the caller must not close it.
std::FILE* LoadFuzzFile(const uint8_t* data, size_t size);
std::FILE* LoadFuzzFile(const std::vector<uint8_t>& bytes);

// Reports a broken invariant as a finding: prints what was expected and aborts, so
// that the fuzzer keeps the input that caused it.
void FuzzCheck(bool holds, const char* what);

// Every row's progress stays within 0 to 100, whatever the file or the device did.
void CheckRowProgress(const UpdateState& state);
