#include "engine/update_worker.h"

#include <cstdio>
#include <thread>
#include <utility>

#include "engine/boot_protocol.h"
#include "engine/messages.h"
#include "engine/update_file.h"
#include "link/command_link.h"
#include "xsvf/xsvf_run.h"

namespace {

// Everything one update works with besides its record.
struct WorkerRun {
  WorkerRun(UpdateState& updateState, const UpdateHost& updateHost)
      : state(updateState),
        host(updateHost),
        file(updateState.updateFile, updateState.formatVersion),
        replies(updateState.port) {}
  UpdateState& state;
  const UpdateHost& host;
  UpdateFileReader file;
  ReplyReader replies;
  bool sending = false;  // the current target's data is going to the device
};

// How a target record ended. A failed target leaves the update going; when the
// update has ended, runState is written and the worker stops.
enum class Target { Done, Failed, UpdateEnded };

Target End(UpdateState& state, const UpdateEnding& ending) {
  EndUpdate(state, ending);
  return Target::UpdateEnded;
}

// Cancelled (or the file could not be skipped on): the status line stays as the
// front end left it.
Target EndAborted(UpdateState& state) {
  return End(state, {RunState::Aborted, "", TargetOutcome::NotReached, false});
}

// The target under way when the update ends otherwise than by its own failure:
// partly sent once its data has begun to go, as it stands otherwise.
TargetOutcome InterruptedTarget(const WorkerRun& run) {
  return run.sending ? TargetOutcome::PartlySent : TargetOutcome::NotReached;
}

// The reply reader gave up: its reason is the status line, and silence also fails
// the target under way.
Target EndGivenUp(WorkerRun& run) {
  const ReplyReader& replies = run.replies;
  return End(run.state, {RunState::Finished, MessageText(replies.GiveUpReason()),
                         replies.TargetFailed() ? TargetOutcome::Failed : InterruptedTarget(run),
                         false});
}

Target EndWithFormatError(WorkerRun& run) {
  UpdateState& state = run.state;
  return End(state, {RunState::Finished, FormatMessageText(MsgBadRecord, state.filePath.Get().c_str()),
                     InterruptedTarget(run), false});
}

// A warning for the user: through the front end's warning, else its message, else
// on standard error.
void Warn(const UpdateHost& host, const std::string& text) {
  if (host.warning) {
    host.warning(text);
  } else if (host.player.showMessage) {
    host.player.showMessage(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

void SetRowStatus(UpdateState& state, TargetOutcome outcome) {
  SetRowOutcome(state.CurrentRow(), outcome);
  state.refreshNeeded.store(true);
}

// The units one firmware transfer served, and the prefix that shows them: "3 *  Main".
void SetRowMark(UpdateState& state, uint32_t multiplicity) {
  char mark[16];
  std::snprintf(mark, sizeof mark, "%d *  ", static_cast<int>(multiplicity));
  state.CurrentRow().mark.Set(mark);
  state.refreshNeeded.store(true);
}

// Query (firmware only) and selection. Returns the reply that decides the target's
// fate: 0x11 selected, 0x44 not available, 0x9A give up, anything else failed.
// *kind becomes KindSkip for a kind the updater does not handle.
uint8_t SelectionReply(WorkerRun& run, uint8_t targetId, int32_t* kind, uint32_t* multiplicity,
                       bool* cancelled) {
  UpdateState& state = run.state;
  if (*kind == KindFirmware) {
    switch (QueryMultiplicity(state, run.replies, targetId, multiplicity)) {
      case Exchange::Done:
        break;
      case Exchange::GaveUp:
        return ReplyGiveUp;
      default:
        return ReplyRepeat;
    }
  } else if (*kind != KindXsvf) {
    *kind = KindSkip;
    return ReplyEnd;
  }
  return SelectTarget(state, run.replies, targetId, *kind == KindXsvf, cancelled);
}

// Acts on the selection's reply: marks the row and turns a target that will not
// be programmed into KindSkip. Returns UpdateEnded on give-up or cancel.
Target ApplySelection(WorkerRun& run, uint8_t reply, bool cancelled, uint32_t multiplicity,
                      int32_t* kind) {
  UpdateState& state = run.state;
  if (cancelled) return EndAborted(state);
  switch (reply) {
    case ReplyAck:
      if (multiplicity > 1) SetRowMark(state, multiplicity);
      return Target::Done;
    case ReplyEnd:
      SetRowStatus(state, *kind == KindSkip ? TargetOutcome::NotHandled : TargetOutcome::MissingTarget);
      break;
    case ReplyGiveUp:
      return EndGivenUp(run);
    default:
      SetRowStatus(state, TargetOutcome::Failed);
      break;
  }
  *kind = KindSkip;
  return Target::Failed;
}

Target SendFirmwareTarget(WorkerRun& run) {
  UpdateState& state = run.state;
  switch (SendFirmware(state, run.replies, run.file)) {
    case Exchange::Done:
      return Target::Done;
    case Exchange::Unsuccessful:
      SetRowStatus(state, TargetOutcome::Failed);
      return Target::Failed;
    case Exchange::Cancelled:
      return EndAborted(state);
    case Exchange::GaveUp:
      return EndGivenUp(run);
    case Exchange::FormatError:
      break;
  }
  return EndWithFormatError(run);
}

// A JTAG target's program either runs to its end or ends the whole update.
Target PlayJtagTarget(WorkerRun& run) {
  UpdateState& state = run.state;
  CommandLink link(state.port, state.cancelRequested);
  XsvfRunHost playerHost = run.host.player;
  playerHost.endNotConfirmed = [&run] { Warn(run.host, MessageText(MsgEndNotConfirmed)); };
  int64_t commands = 0;
  playerHost.progress = [&run, &commands] {
    ReportProgress(run.state, run.file);
    run.state.CurrentRow().done.store(++commands);
  };
  const int result = PlayXsvf(run.file, link, playerHost);
  if (result == XsvfOk) return Target::Done;
  if (result == XsvfCancelled) return EndAborted(state);
  state.playerError.store(result);
  return End(state, {RunState::Finished, XsvfErrorText(result), TargetOutcome::Failed, false});
}

Target ProgramTarget(WorkerRun& run, int32_t kind) {
  switch (kind) {
    case KindFirmware:
      return SendFirmwareTarget(run);
    case KindXsvf:
      return PlayJtagTarget(run);
    default:
      return Target::Failed;  // skipped; its row already says why
  }
}

// One target record whose header has been read: query, selection, programming.
Target ProcessTarget(WorkerRun& run, uint8_t targetId) {
  UpdateState& state = run.state;
  int32_t kind = run.file.Kind();
  uint32_t multiplicity = 1;
  bool cancelled = false;
  const uint8_t reply = SelectionReply(run, targetId, &kind, &multiplicity, &cancelled);
  Target outcome = ApplySelection(run, reply, cancelled, multiplicity, &kind);
  if (outcome == Target::UpdateEnded) return outcome;

  state.CurrentRow().multiplicity.store(multiplicity == 0 ? 1 : static_cast<int32_t>(multiplicity));
  run.file.StartRecordData();
  if (outcome == Target::Done) {
    run.sending = true;
    outcome = ProgramTarget(run, kind);
  }
  if (outcome == Target::UpdateEnded) return outcome;
  run.sending = false;

  if (outcome == Target::Done) {
    // A cancel confirmed after the target's last block came too late for it: the
    // row shows the target as updated, not as cancelled.
    SetRowOutcome(state.CurrentRow(), TargetOutcome::Updated);
    state.CurrentRow().percent.store(100);
    state.refreshNeeded.store(true);
  }
  return outcome;
}

// Works through the target records until the terminating id 0x00; a record the
// update leaves out is passed over without a word to the device.
void ProcessRecords(WorkerRun& run) {
  UpdateState& state = run.state;
  state.currentTarget.store(0);
  uint32_t targetId = 0;
  if (!run.file.ReadTargetId(&targetId)) {
    EndWithFormatError(run);
    return;
  }
  while (targetId != 0) {
    // The rows end at the tenth target: an eleventh record makes the file malformed.
    if (state.currentTarget.load() >= kMaxTargets || !run.file.ReadRecordHeader()) {
      EndWithFormatError(run);
      return;
    }
    if (!run.host.Selects(state.currentTarget.load())) {
      SetRowStatus(state, TargetOutcome::NotSelected);
      run.file.StartRecordData();
    } else if (ProcessTarget(run, static_cast<uint8_t>(targetId)) == Target::UpdateEnded) {
      return;
    }
    if (!run.file.SkipRecordRest()) {
      EndAborted(state);
      return;
    }
    state.currentTarget.fetch_add(1);
    if (!run.file.ReadTargetId(&targetId)) {
      EndWithFormatError(run);
      return;
    }
  }
  SendEnd(state);
  End(state, {RunState::Finished, "", TargetOutcome::NotReached, true});
}

}  // namespace

void UpdateWorker(UpdateState& state, const UpdateHost& host) {
  state.currentTarget.store(0);
  state.playerError.store(0);
  WorkerRun run(state, host);
  if (WakeDevice(state) == Exchange::Cancelled) {
    EndAborted(state);
    return;
  }
  switch (StartBootLoader(state, run.replies)) {
    case Exchange::Done:
      ProcessRecords(run);
      break;
    case Exchange::Cancelled:
      EndAborted(state);
      break;
    default:
      EndGivenUp(run);
      break;
  }
}

UpdateThread::~UpdateThread() {
  Join();
}

void UpdateThread::Start(UpdateState& state, UpdateHost host, std::function<void()> ended) {
  Join();
  thread = std::thread([&state, host = std::move(host), ended = std::move(ended)] {
    UpdateWorker(state, host);
    if (ended) ended();
  });
}

void UpdateThread::Join() {
  if (thread.joinable()) thread.join();
}
