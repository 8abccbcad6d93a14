#include "engine/update_worker.h"

#include <cstdio>
#include <thread>
#include <utility>

#include "engine/boot_protocol.h"
#include "engine/messages.h"
#include "engine/update_file.h"
#include "xsvf/xsvf_player.h"

namespace {

// The books of one update.
struct WorkerRun {
  explicit WorkerRun(UpdateState& updateState) : state(updateState) {}
  UpdateState& state;
  int32_t timeoutCount = 0;
  int32_t successes = 0;  // counted multiplicities of the targets that were done
  int32_t total = 0;      // counted multiplicities of every record processed
};

// How a target record ended. A failed target leaves the update going; when the
// update has ended, runState is written and the worker stops.
enum class Target { Done, Failed, UpdateEnded };

// Every ending writes runState exactly once, as the worker's last write: the front
// end acts on it at once (shows the status line, closes the port and the file).
Target EndUpdate(UpdateState& state, RunState how) {
  {
    std::lock_guard<std::mutex> guard(state.endingLock);
    state.ending = true;
  }
  state.runState.store(how);
  return Target::UpdateEnded;
}

void FinishWithResultLine(UpdateState& state, const std::string& resultLine) {
  {
    std::lock_guard<std::mutex> guard(state.endingLock);
    state.statusLine.Set(resultLine);
    state.ending = true;
  }
  state.runState.store(Finished);
}

Target EndWithFormatError(UpdateState& state) {
  ReportFormatError(state);
  return Target::UpdateEnded;
}

void SetRowStatus(UpdateState& state, Message message) {
  state.CurrentRow().status.Set(MessageText(message));
  state.refreshNeeded.store(1);
}

// The prefix that shows how many units one firmware transfer served: "3 *  Main".
void SetRowMark(UpdateState& state, uint32_t multiplicity) {
  char mark[16];
  std::snprintf(mark, sizeof mark, "%d *  ", static_cast<int>(multiplicity));
  state.CurrentRow().mark.Set(mark);
  state.refreshNeeded.store(1);
}

// Query (firmware only) and selection. Returns the reply that decides the target's
// fate: 0x11 selected, 0x44 not available, 0x9A give up, anything else failed.
uint8_t SelectionReply(WorkerRun& run, uint8_t targetId, uint32_t* multiplicity,
                       bool* cancelled) {
  UpdateState& state = run.state;
  if (state.targetKind == KindFirmware) {
    if (QueryMultiplicity(state, targetId, multiplicity) != Exchange::Done) return ReplyRepeat;
  } else if (state.targetKind != KindXsvf) {
    state.targetKind = KindSkip;
    return ReplyEnd;
  }
  return SelectTarget(state, targetId, state.targetKind == KindXsvf, run.timeoutCount, cancelled);
}

// Acts on the selection's reply: marks the row and turns a target that will not
// be programmed into KindSkip. Returns UpdateEnded on give-up or cancel.
Target ApplySelection(UpdateState& state, uint8_t reply, bool cancelled, uint32_t multiplicity) {
  if (cancelled) return EndUpdate(state, Aborted);
  switch (reply) {
    case ReplyAck:
      if (multiplicity > 1) SetRowMark(state, multiplicity);
      return Target::Done;
    case ReplyEnd:
      SetRowStatus(state, state.targetKind == KindSkip ? MsgUnknownKind : MsgMissingTarget);
      break;
    case ReplyGiveUp:
      return EndUpdate(state, Finished);
    default:
      SetRowStatus(state, MsgUnsuccessful);
      break;
  }
  state.targetKind = KindSkip;
  return Target::Failed;
}

Target SendFirmwareTarget(WorkerRun& run) {
  UpdateState& state = run.state;
  switch (SendFirmware(state, run.timeoutCount)) {
    case Exchange::Done:
      return Target::Done;
    case Exchange::Unsuccessful:
      SetRowStatus(state, MsgUnsuccessful);
      return Target::Failed;
    case Exchange::Cancelled:
      return EndUpdate(state, Aborted);
    case Exchange::GaveUp:
      return EndUpdate(state, Finished);
    case Exchange::FormatError:
      break;
  }
  return EndWithFormatError(state);
}

// A JTAG target's program either runs to its end or ends the whole update.
Target PlayJtagTarget(UpdateState& state) {
  const int result = PlayXsvf();
  if (result == 0) return Target::Done;
  if (result == XsvfCancelled) return EndUpdate(state, Aborted);
  state.statusLine.Set(XsvfErrorText(result));
  SetRowStatus(state, MsgUnsuccessful);
  return EndUpdate(state, Finished);
}

Target ProgramTarget(WorkerRun& run) {
  switch (run.state.targetKind) {
    case KindFirmware:
      return SendFirmwareTarget(run);
    case KindXsvf:
      return PlayJtagTarget(run.state);
    default:
      return Target::Failed;  // skipped; its row already says why
  }
}

// One target record whose header has been read: query, selection, programming.
Target ProcessTarget(WorkerRun& run, uint8_t targetId) {
  UpdateState& state = run.state;
  uint32_t multiplicity = 1;
  bool cancelled = false;
  const uint8_t reply = SelectionReply(run, targetId, &multiplicity, &cancelled);
  Target outcome = ApplySelection(state, reply, cancelled, multiplicity);
  if (outcome == Target::UpdateEnded) return outcome;

  StartRecordData(state);
  if (outcome == Target::Done) outcome = ProgramTarget(run);
  if (outcome == Target::UpdateEnded) return outcome;

  const int32_t counted = multiplicity == 0 ? 1 : static_cast<int32_t>(multiplicity);
  if (outcome == Target::Done) {
    // A cancel confirmed after the target's last block came too late for it: the
    // row shows the target as updated, not as cancelled.
    state.CurrentRow().status.Set("");
    state.CurrentRow().percent.store(100);
    state.refreshNeeded.store(1);
    run.successes += counted;
  }
  run.total += counted;
  return outcome;
}

// Works through the target records until the terminating id 0x00.
void ProcessRecords(WorkerRun& run) {
  UpdateState& state = run.state;
  state.currentTarget.store(0);
  uint32_t targetId = 0;
  if (!ReadTargetId(state, &targetId)) {
    EndWithFormatError(state);
    return;
  }
  while (targetId != 0) {
    // The rows end at the tenth target: an eleventh record makes the file malformed.
    if (state.currentTarget.load() >= kMaxTargets || !ReadRecordHeader(state)) {
      EndWithFormatError(state);
      return;
    }
    if (ProcessTarget(run, static_cast<uint8_t>(targetId)) == Target::UpdateEnded) return;
    if (!SkipRecordRest(state)) {
      EndUpdate(state, Aborted);
      return;
    }
    state.currentTarget.fetch_add(1);
    if (!ReadTargetId(state, &targetId)) {
      EndWithFormatError(state);
      return;
    }
  }
  SendEnd(state);
  FinishWithResultLine(state, FormatMessageText(MsgResult, run.successes, run.total));
}

void RunUpdate(UpdateState& state) {
  WorkerRun run(state);
  if (WakeDevice(state) == Exchange::Cancelled) {
    EndUpdate(state, Aborted);
    return;
  }
  switch (StartBootLoader(state, run.timeoutCount)) {
    case Exchange::Done:
      ProcessRecords(run);
      return;
    case Exchange::Cancelled:
      EndUpdate(state, Aborted);
      return;
    default:
      EndUpdate(state, Finished);  // gave up; the reason is in the status line
      return;
  }
}

}  // namespace

int UpdateWorker(void* argument) {
  UpdateState& state = *static_cast<UpdateState*>(argument);
  g_pUpdateState = &state;
  state.currentTarget.store(0);
  // A failed update must not make this one give up at its first bad reply.
  badReplyCount = 0;
  RunUpdate(state);
  return 0;
}

void StartUpdateWorker(UpdateState& state, std::function<void()> ended) {
  std::thread([&state, ended = std::move(ended)] {
    UpdateWorker(&state);
    if (ended) ended();
  }).detach();
}
