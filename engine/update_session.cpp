#include "engine/update_session.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_worker.h"

namespace {

constexpr uint32_t kDrainTimeoutMs = 1;
// A device that never stops sending would hold the front end in the drain for
// ever; what it sends after this long is left to the worker, which passes over
// unexpected bytes.
constexpr auto kMaxDrainTime = std::chrono::seconds(1);

}  // namespace

bool OpenUpdateFile(UpdateState& state, std::string* message) {
  CloseUpdateFile(state);
  const std::string path = state.filePath.Get();
  UpdateFileSnapshot file;
  UpdateFileHeader header;
  if (!ReadUpdateFileSnapshot(path, &file, &header, message)) {
    state.targetCount = 0;
    return false;
  }
  UseUpdateFile(state, file, header);
  return true;
}

void UseUpdateFile(UpdateState& state, const UpdateFileSnapshot& file,
                   const UpdateFileHeader& header) {
  state.updateFile = file;
  state.formatVersion = header.formatVersion;
  state.targetCount = static_cast<uint32_t>(header.targets.size());
  for (uint32_t i = 0; i < state.targetCount && i < kMaxTargets; ++i) {
    state.rows[i].headerId = header.targets[i].id;
    state.rows[i].name.Set(header.targets[i].name);
    state.rows[i].mark.Set("");
  }
}

bool OpenDevicePort(UpdateState& state, const std::string& devicePath) {
  if (!state.port.Open(devicePath, kLineBaudRate, kOpenTimeoutMs)) return false;
  DrainPort(state);
  return true;
}

void DrainPort(UpdateState& state) {
  state.port.SetTimeouts(kDrainTimeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + kMaxDrainTime;
  uint8_t stale;
  while (state.port.Read(&stale, 1) && std::chrono::steady_clock::now() < deadline) {
  }
}

void ClearRowsForUpdate(UpdateState& state) {
  state.statusLine.Set(MessageText(MsgSwitchOn));
  for (TargetRow& row : state.rows) {
    row.percent.store(0);
    row.done.store(0);
    row.multiplicity.store(1);
    SetRowOutcome(row, TargetOutcome::NotReached);
  }
}

void LaunchUpdate(UpdateState& state, UpdateThread& thread, UpdateHost host,
                  std::function<void()> ended) {
  // The rows of the targets the update leaves out say so from its start, so that
  // they are shown so at once and count neither way however the update ends.
  for (uint32_t record = 0; record < state.targetCount && record < kMaxTargets; ++record) {
    if (!host.Selects(record)) SetRowOutcome(state.rows[record], TargetOutcome::NotSelected);
  }
  {
    std::lock_guard<std::mutex> guard(state.endingLock);
    state.ending = false;
    state.result = UpdateResult();
  }
  state.cancelRequested.store(false);
  state.runState.store(RunState::Running);
  state.refreshNeeded.store(false);
  thread.Start(state, std::move(host), std::move(ended));
}

void ConfirmCancel(UpdateState& state) {
  std::lock_guard<std::mutex> guard(state.endingLock);
  state.cancelRequested.store(true);
  // Once the worker is ending the update, the cancel comes too late: the reason
  // the update ended for stands.
  if (state.runState.load() != RunState::Running || state.ending) return;
  for (uint32_t row = state.currentTarget.load(); row < state.targetCount && row < kMaxTargets;
       ++row) {
    if (state.rows[row].outcome.load() == TargetOutcome::NotSelected) continue;
    SetRowOutcome(state.rows[row], TargetOutcome::Cancelled);
  }
  state.statusLine.Set(MessageText(MsgCancelledByUser));
}

void CloseUpdateFile(UpdateState& state) {
  state.updateFile = UpdateFileSnapshot();
}

void CloseUpdateResources(UpdateState& state) {
  CloseUpdateFile(state);
  state.port.Close();
}
