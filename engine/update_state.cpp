#include "engine/update_state.h"

#include <utility>

void SharedText::Set(std::string newText) {
  std::lock_guard<std::mutex> guard(lock);
  text = std::move(newText);
}

std::string SharedText::Get() const {
  std::lock_guard<std::mutex> guard(lock);
  return text;
}

TargetRow& UpdateState::CurrentRow() {
  const uint32_t index = currentTarget.load();
  return rows[index < kMaxTargets ? index : kMaxTargets - 1];
}

void EndUpdate(UpdateState& state, const UpdateEnding& ending) {
  {
    std::lock_guard<std::mutex> guard(state.endingLock);
    if (!ending.statusLine.empty()) state.statusLine.Set(ending.statusLine);
    if (!ending.rowStatus.empty()) state.CurrentRow().status.Set(ending.rowStatus);
    state.ending = true;
  }
  state.refreshNeeded.store(1);
  state.runState.store(ending.runState);
}
