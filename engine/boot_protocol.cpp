#include "engine/boot_protocol.h"

namespace {

// Acknowledgements in a row that complete the wake-up handshake.
constexpr int kWakeAcks = 5;
// The port's time-out value from the start request on (a one-byte read gives up
// after 300 ms).
constexpr uint32_t kReplyTimeoutMs = 150;

bool CancelRequested(const UpdateState& state) {
  return state.cancelRequested.load();
}

// The end of an exchange's wait on the device, on the port's clock.
uint64_t BusyDeadlineUs(const UpdateState& state) {
  return state.port.NowUs() + uint64_t{kDeviceBusyLimitMs} * 1000;
}

bool Passed(const UpdateState& state, uint64_t deadlineUs) {
  return state.port.NowUs() > deadlineUs;
}

// Each send is false when the port did not take the bytes within its write limit.
bool SendByte(UpdateState& state, uint8_t byte) {
  return state.port.Write(&byte, 1);
}

bool SendBytes(UpdateState& state, uint8_t first, uint8_t second) {
  const uint8_t bytes[2] = {first, second};
  return state.port.Write(bytes, 2);
}

// What came of one multiplicity query: an answer, none, or the port did not
// take the query.
enum class Answer { Came, Missing, NotSent };

// The multiplicity query's three bytes, sent as one message.
Answer AskMultiplicity(UpdateState& state, uint8_t targetId, uint8_t* answer) {
  const uint8_t query[3] = {CmdQuery, targetId, 0x00};
  if (!state.port.Write(query, 3)) return Answer::NotSent;
  return state.port.Read(answer, 1) ? Answer::Came : Answer::Missing;
}

// Reads the next firmware block (length field and payload) into `block`.
// False when the data end within the block or its length exceeds the buffer.
bool ReadBlock(UpdateFileReader& file, uint8_t* block, uint32_t* size) {
  if (!file.ReadDataByte(&block[0]) || !file.ReadDataByte(&block[1])) return false;
  const uint32_t payload = (uint32_t{block[0]} << 8) | block[1];
  if (payload > kMaxBlockPayload) return false;
  for (uint32_t i = 0; i < payload; ++i) {
    if (!file.ReadDataByte(&block[2 + i])) return false;
  }
  *size = payload + 2;
  return true;
}

}  // namespace

uint8_t ReplyReader::ReadReply() {
  uint8_t received = 0;
  if (!port.Read(&received, 1)) return TimedOut();
  timeoutCount = 0;
  switch (received) {
    case ReplyAck:
    case ReplyEnd:
    case ReplyReady:
      badReplyCount = 0;
      return received;
    case ReplyBusy:
      return ReplyBusy;
    default:
      return BadReply(received);
  }
}

uint8_t ReplyReader::BadReply(uint8_t received) {
  ++badReplyCount;
  if (badReplyCount < kBadReplyLimit) return ReplyRepeat;
  giveUpReason = received == ReplyRepeat ? MsgCrcError : MsgWrongAnswer;
  return ReplyGiveUp;
}

uint8_t ReplyReader::NotResponding() {
  giveUpReason = MsgNotResponding;
  return ReplyGiveUp;
}

uint8_t ReplyReader::TimedOut() {
  ++timeoutCount;
  if (timeoutCount < kTimeoutLimit) return ReplyBusy;
  giveUpReason = MsgNotResponding;
  return ReplyGiveUp;
}

Exchange WakeDevice(UpdateState& state) {
  state.deviceAnswered.store(false);
  int acks = 0;
  while (acks < kWakeAcks) {
    SendByte(state, CmdWake);
    uint8_t received = 0;
    // Silence leaves the row of acknowledgements as it is; any other byte breaks it.
    if (state.port.Read(&received, 1)) acks = received == ReplyAck ? acks + 1 : 0;
    if (CancelRequested(state)) return Exchange::Cancelled;
  }
  return Exchange::Done;
}

Exchange StartBootLoader(UpdateState& state, ReplyReader& replies) {
  state.deviceAnswered.store(true);
  state.statusLine.Set(MessageText(MsgRunning));
  replies.timeoutCount = 0;
  state.refreshNeeded.store(true);
  const uint64_t deadlineUs = BusyDeadlineUs(state);
  const bool sent = SendByte(state, CmdStart);
  state.port.SetTimeouts(kReplyTimeoutMs);
  if (!sent) {
    replies.NotResponding();
    return Exchange::GaveUp;
  }
  for (;;) {
    const uint8_t reply = replies.ReadReply();
    if (reply == ReplyGiveUp) return Exchange::GaveUp;
    if (CancelRequested(state)) return Exchange::Cancelled;
    if (reply == ReplyReady) return Exchange::Done;
    // Acknowledgements and ends are passed over and do not count as bad replies:
    // a device that sends them (or busy) without end would hold the start for ever.
    if (Passed(state, deadlineUs)) {
      replies.NotResponding();
      return Exchange::GaveUp;
    }
  }
}

Exchange QueryMultiplicity(UpdateState& state, ReplyReader& replies, uint8_t targetId,
                           uint32_t* multiplicity) {
  *multiplicity = 1;
  uint8_t first = 0;
  const Answer firstAnswer = AskMultiplicity(state, targetId, &first);
  // A boot loader that does not answer the query serves one unit.
  if (firstAnswer == Answer::Missing) return Exchange::Done;
  uint8_t second = 0;
  const Answer secondAnswer =
      firstAnswer == Answer::Came ? AskMultiplicity(state, targetId, &second) : Answer::NotSent;
  if (secondAnswer == Answer::NotSent) {
    replies.NotResponding();
    return Exchange::GaveUp;
  }
  *multiplicity = first;
  if (secondAnswer == Answer::Missing || second != first) return Exchange::Unsuccessful;
  return Exchange::Done;
}

uint8_t SelectTarget(UpdateState& state, ReplyReader& replies, uint8_t targetId, bool jtag,
                     bool* cancelled) {
  *cancelled = false;
  if (!SendByte(state, CmdSelect)) return replies.NotResponding();
  // Bounded by the bad-reply count: the fourth request for the pair gives up.
  uint8_t reply = ReplyRepeat;
  while (reply == ReplyRepeat) {
    const bool sent = SendBytes(state, targetId, static_cast<uint8_t>(~targetId));
    if (CancelRequested(state)) {
      *cancelled = true;
      return 0;
    }
    if (!sent) return replies.NotResponding();
    reply = replies.ReadReply();
  }
  if (jtag && reply == ReplyAck) {
    if (!SendBytes(state, static_cast<uint8_t>(kJtagKind >> 8),
                   static_cast<uint8_t>(kJtagKind & 0xFF))) {
      return replies.NotResponding();
    }
    reply = replies.ReadReply();
  }
  return reply;
}

Exchange SendFirmware(UpdateState& state, ReplyReader& replies, UpdateFileReader& file) {
  uint8_t block[kMaxBlockPayload + 2];
  uint32_t size = 0;
  uint8_t reply = ReplyAck;
  uint64_t deadlineUs = 0;
  for (;;) {
    if (CancelRequested(state)) return Exchange::Cancelled;
    // After any reply other than an acknowledgement the same block goes again.
    if (reply == ReplyAck) {
      if (!ReadBlock(file, block, &size)) return Exchange::FormatError;
      ReportProgress(state, file);
      deadlineUs = BusyDeadlineUs(state);
    }
    reply = state.port.Write(block, size) ? replies.ReadReply() : replies.NotResponding();
    while (reply == ReplyBusy) {
      if (CancelRequested(state)) return Exchange::Cancelled;
      reply = Passed(state, deadlineUs) ? replies.NotResponding() : replies.ReadReply();
    }
    if (reply == ReplyGiveUp) return Exchange::GaveUp;
    if (reply == ReplyEnd) return file.Ended() ? Exchange::Done : Exchange::Unsuccessful;
    if (reply == ReplyAck && file.Ended()) return Exchange::Done;
    // A device that asks for the block again and again with replies that clear
    // the bad-reply count (0x88 between the 0x22s) gives up at the deadline too.
    if (reply != ReplyAck && Passed(state, deadlineUs)) {
      replies.NotResponding();
      return Exchange::GaveUp;
    }
  }
}

void SendEnd(UpdateState& state) {
  SendByte(state, CmdEnd);
}
