#include "engine/update_state.h"

#include <utility>

UpdateState* g_pUpdateState = nullptr;

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
