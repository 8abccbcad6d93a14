#include "engine/update_state.h"

#include <utility>

#include "engine/messages.h"

namespace {

// Counts the rows: every target counts its units; the updated ones are successes.
// A completed update counts the records it worked through, one that ended early
// every target of the file, reached or not. A target left out of the update
// counts neither way.
UpdateResult CountRows(const UpdateState& state, bool completed) {
  UpdateResult result;
  result.completed = completed;
  const uint32_t targets = completed ? state.currentTarget.load() : state.targetCount;
  const uint32_t rows = targets < kMaxTargets ? targets : kMaxTargets;
  for (uint32_t i = 0; i < rows; ++i) {
    if (state.rows[i].outcome.load() == TargetOutcome::NotSelected) continue;
    const int32_t units = state.rows[i].multiplicity.load();
    result.total += units;
    if (state.rows[i].outcome.load() == TargetOutcome::Updated) result.successes += units;
  }
  return result;
}

}  // namespace

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

const char* OutcomeText(TargetOutcome outcome) {
  switch (outcome) {
    case TargetOutcome::Failed:
      return MessageText(MsgUnsuccessful);
    case TargetOutcome::MissingTarget:
      return MessageText(MsgMissingTarget);
    case TargetOutcome::NotHandled:
      return MessageText(MsgUnknownKind);
    case TargetOutcome::Cancelled:
      return MessageText(MsgCancelled);
    case TargetOutcome::NotSelected:
      return MessageText(MsgNotSelected);
    default:
      return "";
  }
}

void SetRowOutcome(TargetRow& row, TargetOutcome outcome) {
  row.outcome.store(outcome);
  row.status.Set(OutcomeText(outcome));
}

void EndUpdate(UpdateState& state, const UpdateEnding& ending) {
  {
    std::lock_guard<std::mutex> guard(state.endingLock);
    if (ending.rowOutcome != TargetOutcome::NotReached) {
      SetRowOutcome(state.CurrentRow(), ending.rowOutcome);
    }
    state.result = CountRows(state, ending.completed);
    if (ending.completed) {
      state.statusLine.Set(
          FormatMessageText(MsgResult, state.result.successes, state.result.total));
    } else if (!ending.statusLine.empty()) {
      state.statusLine.Set(ending.statusLine);
    }
    state.ending = true;
  }
  state.refreshNeeded.store(true);
  state.runState.store(ending.runState);
}

UpdateResult EndedResult(UpdateState& state) {
  std::lock_guard<std::mutex> guard(state.endingLock);
  return state.result;
}
