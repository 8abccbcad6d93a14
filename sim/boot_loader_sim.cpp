#include "sim/boot_loader_sim.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "link/protocol_bytes.h"
#include "sim/device_crc.h"
#include "sim/jtag_executor.h"

namespace {

// A byte at or above this where a block or frame would start is a request.
constexpr uint8_t kFirstRequest = 0xA0;
// Kind bytes that follow a JTAG target's selection.
constexpr uint8_t kJtagKindBytes[2] = {kJtagKind >> 8, kJtagKind & 0xFF};
// Bytes of the query and the selection pair after their request byte.
constexpr size_t kQueryArgs = 2;
constexpr size_t kPairLength = 2;
constexpr size_t kLengthField = 2;
constexpr size_t kCrcLength = 2;
// The device's message buffer holds 1000 bytes: a firmware block's length field
// and at most 998 payload bytes, or a frame's length field, its payload and CRC.
constexpr size_t kMessageBuffer = 1000;
constexpr size_t kMaxBlockPayload = kMessageBuffer - kLengthField;
// Largest value of a frame's length field: the payload and its CRC.
constexpr size_t kMaxFrameField = kMessageBuffer - kLengthField;
// While a command keeps the device working, it reports busy this often, so that
// the host's reply time-out (300 ms) does not run out during a long wait.
constexpr uint64_t kBusyReportUs = 100000;

// The payload's CRC against the two bytes after it.
bool CrcMatches(const uint8_t* payload, size_t length) {
  const uint16_t received = static_cast<uint16_t>(payload[length] << 8 | payload[length + 1]);
  return DeviceCrc16(payload, length) == received;
}

// A shift whose flags ask the device to compare TDO with an expected vector.
bool IsComparedShift(const uint8_t* payload, size_t length) {
  return length >= 2 && payload[0] == 'S' && (payload[1] & 0x03) != 0;
}

}  // namespace

BootLoaderSim::BootLoaderSim(DeviceConfig deviceConfig)
    : config(std::move(deviceConfig)), plan(config.faults) {
  if (config.switchOnDelayMs == 0) SwitchOn();
}

BootLoaderSim::~BootLoaderSim() = default;

void BootLoaderSim::Receive(const uint8_t* data, size_t count, uint64_t nowUs) {
  for (size_t i = 0; i < count; ++i) {
    clockUs = std::max(nowUs, busyUntilUs);
    ++counters.bytesReceived;
    if (phase == Phase::Off) {
      if (!onAtUs) onAtUs = nowUs + uint64_t{config.switchOnDelayMs} * 1000;
      if (clockUs < *onAtUs) {
        ++counters.bytesWhileOff;
        continue;
      }
      SwitchOn();
    }
    HandleByte(data[i]);
  }
}

TimedByte BootLoaderSim::TakeOutput() {
  TimedByte next = output.front();
  output.pop_front();
  return next;
}

void BootLoaderSim::PowerCycle() {
  ++counters.powerCycles;
  phase = Phase::Off;
  onAtUs.reset();
  plan.Restart();
  message.clear();
  current = nullptr;
  queriesAnswered.clear();
  disconnected = false;
  output.clear();
  busyUntilUs = 0;
  for (auto& [id, executor] : executors) executor->PowerUp();
  if (config.switchOnDelayMs == 0) SwitchOn();
}

const std::vector<std::vector<uint8_t>>& BootLoaderSim::Blocks(uint8_t targetId) const {
  static const std::vector<std::vector<uint8_t>> none;
  auto found = blocks.find(targetId);
  return found == blocks.end() ? none : found->second;
}

std::vector<uint8_t> BootLoaderSim::ReceivedFirmware(uint8_t targetId) const {
  std::vector<uint8_t> joined;
  for (const auto& block : Blocks(targetId)) joined.insert(joined.end(), block.begin(), block.end());
  return joined;
}

JtagExecutor* BootLoaderSim::Executor(uint8_t targetId) const {
  auto found = executors.find(targetId);
  return found == executors.end() ? nullptr : found->second.get();
}

SimCounters BootLoaderSim::Counters() const {
  SimCounters result = counters;
  result.faultsStruck = plan.Struck();
  return result;
}

void BootLoaderSim::WriteReport(std::ostream& out) const {
  const SimCounters c = Counters();
  const std::pair<const char*, uint64_t> device[] = {
      {"bytes_received", c.bytesReceived}, {"bytes_while_off", c.bytesWhileOff},
      {"bytes_ignored", c.bytesIgnored},   {"bytes_sent", c.bytesSent},
      {"wake_probes", c.wakeProbes},       {"starts", c.starts},
      {"queries", c.queries},              {"selections", c.selections},
      {"bad_pairs", c.badPairs},           {"unknown_targets", c.unknownTargets},
      {"sessions", c.sessions},            {"blocks", c.blocks},
      {"block_bytes", c.blockBytes},       {"oversized_blocks", c.oversizedBlocks},
      {"frames", c.frames},                {"bad_frames", c.badFrames},
      {"ends", c.ends},                    {"faults_struck", c.faultsStruck},
      {"power_cycles", c.powerCycles},
  };
  for (const auto& [name, value] : device) out << name << '=' << value << '\n';
  for (const auto& [letter, count] : c.commands) out << "command_" << letter << '=' << count << '\n';
  for (const auto& [id, executor] : executors) {
    const CableStatistics& s = executor->Statistics();
    const std::pair<const char*, uint64_t> port[] = {
        {"level_frames", s.levelFrames}, {"shifts", s.shifts},
        {"compared_shifts", s.comparedShifts}, {"mismatches", s.mismatches},
        {"reads", s.reads}, {"waits", s.waits}, {"rejected", s.rejected},
        {"bits_shifted", s.bitsShifted}, {"microseconds_waited", s.microsecondsWaited},
        {"levels", s.levels}, {"level_digest", s.levelDigest},
    };
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "jtag_%02X_", id);
    for (const auto& [name, value] : port) out << prefix << name << '=' << value << '\n';
  }
}

void BootLoaderSim::SwitchOn() {
  phase = Phase::Idle;
  if (!config.openSessionOn) return;
  const SimTarget* target = FindTarget(*config.openSessionOn);
  if (target && target->jtag && target->makeChip) OpenSession(*target);
}

void BootLoaderSim::HandleByte(uint8_t byte) {
  if (phase == Phase::Ended || phase == Phase::Quiet) {
    ++counters.bytesIgnored;
    return;
  }
  if (!Strike(FaultPoint::Byte)) return;
  switch (phase) {
    case Phase::Idle:
      HandleRequest(byte);
      break;
    case Phase::QueryArgs:
    case Phase::SelectionPair:
    case Phase::KindBytes:
      CollectMessage(byte);
      break;
    case Phase::Firmware:
    case Phase::Jtag:
      if (message.empty() && byte >= kFirstRequest) {
        phase = Phase::Idle;
        HandleRequest(byte);
      } else {
        CollectLengthPrefixed(byte);
      }
      break;
    case Phase::Off:
    case Phase::Ended:
    case Phase::Quiet:
      break;
  }
}

void BootLoaderSim::HandleRequest(uint8_t byte) {
  message.clear();
  switch (byte) {
    case CmdWake:
      ++counters.wakeProbes;
      requests.push_back({CmdWake, 0});
      if (Strike(FaultPoint::Wake)) Send(ReplyAck);
      break;
    case CmdStart:
      ++counters.starts;
      requests.push_back({CmdStart, 0});
      if (Strike(FaultPoint::Start)) Send(ReplyReady);
      break;
    case CmdQuery:
      phase = Phase::QueryArgs;
      messageLength = kQueryArgs;
      break;
    case CmdSelect:
      ++counters.selections;
      phase = Phase::SelectionPair;
      messageLength = kPairLength;
      pairResent = false;
      break;
    case CmdEnd:
      ++counters.ends;
      requests.push_back({CmdEnd, 0});
      phase = Phase::Ended;
      break;
    default:
      ++counters.bytesIgnored;
      break;
  }
}

void BootLoaderSim::CollectMessage(uint8_t byte) {
  message.push_back(byte);
  if (message.size() < messageLength) return;
  switch (phase) {
    case Phase::QueryArgs:
      FinishQuery();
      break;
    case Phase::SelectionPair:
      FinishPair();
      break;
    default:
      FinishKind();
      break;
  }
  message.clear();
}

void BootLoaderSim::CollectLengthPrefixed(uint8_t byte) {
  message.push_back(byte);
  if (message.size() == kLengthField) {
    const size_t field = size_t{message[0]} << 8 | message[1];
    const bool firmware = phase == Phase::Firmware;
    if (firmware ? field > kMaxBlockPayload : field > kMaxFrameField) {
      // The device cannot hold it: it reports the message damaged and waits
      // for the next one.
      ++(firmware ? counters.oversizedBlocks : counters.badFrames);
      message.clear();
      Send(ReplyRepeat);
      return;
    }
    messageLength = kLengthField + field;
  }
  if (message.size() < kLengthField || message.size() < messageLength) return;
  if (phase == Phase::Firmware) {
    FinishBlock();
  } else {
    FinishFrame();
  }
  message.clear();
}

void BootLoaderSim::FinishQuery() {
  const uint8_t id = message[0];
  ++counters.queries;
  requests.push_back({CmdQuery, id});
  phase = Phase::Idle;
  if (!Strike(FaultPoint::Query)) return;
  const SimTarget* target = FindTarget(id);
  // The third byte of a query is always 0; anything else is no query.
  if (message[1] != 0 || !target || target->queryAnswers.empty()) return;
  const std::vector<uint8_t>& answers = target->queryAnswers;
  Send(answers[queriesAnswered[id]++ % answers.size()]);
}

void BootLoaderSim::FinishPair() {
  const uint8_t id = message[0];
  if (!pairResent) requests.push_back({CmdSelect, id});
  pairResent = true;
  if (!Strike(FaultPoint::Selection)) return;
  if (message[1] != static_cast<uint8_t>(~id)) {
    ++counters.badPairs;
    Send(ReplyRepeat);
    return;
  }
  const SimTarget* target = FindTarget(id);
  if (!target) {
    ++counters.unknownTargets;
    phase = Phase::Idle;
    Send(ReplyEnd);
    return;
  }
  current = target;
  if (target->jtag) {
    phase = Phase::KindBytes;
    messageLength = sizeof kJtagKindBytes;
  } else {
    phase = Phase::Firmware;
    blocks[id].clear();
  }
  Send(ReplyAck);
}

void BootLoaderSim::FinishKind() {
  const bool jtagKind = std::equal(message.begin(), message.end(), kJtagKindBytes);
  if (!jtagKind || !current->makeChip) {
    phase = Phase::Idle;
    Send(ReplyEnd);
    return;
  }
  OpenSession(*current);
  Send(ReplyAck);
}

void BootLoaderSim::FinishBlock() {
  auto effect = Strike(FaultPoint::Block);
  if (!effect) return;
  ++counters.blocks;
  counters.blockBytes += message.size() - kLengthField;
  blocks[current->id].push_back(message);
  if (effect->earlyEnd) {
    phase = Phase::Idle;
    Send(ReplyEnd);
  } else {
    Send(ReplyAck);
  }
}

void BootLoaderSim::FinishFrame() {
  ++counters.frames;
  if (!Strike(FaultPoint::Frame)) return;
  const uint8_t* payload = message.data() + kLengthField;
  const size_t covered = message.size() - kLengthField;
  // A frame without a command letter is as useless as a damaged one.
  if (covered <= kCrcLength || !CrcMatches(payload, covered - kCrcLength)) {
    ++counters.badFrames;
    Send(ReplyRepeat);
    return;
  }
  ++counters.commands[static_cast<char>(payload[0])];
  CarryOut(payload, covered - kCrcLength);
}

void BootLoaderSim::CarryOut(const uint8_t* payload, size_t length) {
  JtagExecutor& executor = *executors.at(current->id);
  if (IsComparedShift(payload, length) && plan.Occur(FaultPoint::Shift).mismatch) {
    executor.ForceMismatchOnNextCompare();
  }
  const CableResult result = executor.Execute(payload, length);
  if (config.honourWaits) {
    busyUntilUs = clockUs + result.waitMicroseconds;
    for (uint64_t at = clockUs + kBusyReportUs; at < busyUntilUs; at += kBusyReportUs) {
      SendAt(ReplyBusy, at);
    }
  }
  SendAt(result.reply, std::max(clockUs, busyUntilUs));
  for (uint8_t byte : result.answer) Send(byte);
  if (result.ended) phase = Phase::Idle;
}

void BootLoaderSim::OpenSession(const SimTarget& target) {
  ++counters.sessions;
  current = &target;
  phase = Phase::Jtag;
  auto& executor = executors[target.id];
  if (!executor) executor = std::make_unique<JtagExecutor>(target.makeChip());
}

std::optional<FaultEffect> BootLoaderSim::Strike(FaultPoint point) {
  FaultEffect effect = plan.Occur(point);
  if (effect.GoesQuiet()) {
    GoQuiet(effect.disconnect);
    return std::nullopt;
  }
  SendAll(effect.before);
  if (effect.answerWith) {
    Send(*effect.answerWith);
    return std::nullopt;
  }
  return effect;
}

void BootLoaderSim::GoQuiet(bool cutLine) {
  phase = Phase::Quiet;
  disconnected = disconnected || cutLine;
}

void BootLoaderSim::Send(uint8_t value) { SendAt(value, clockUs); }

void BootLoaderSim::SendAt(uint8_t value, uint64_t atUs) {
  // Bytes leave in order: none goes out before the one ahead of it.
  if (!output.empty()) atUs = std::max(atUs, output.back().atUs);
  output.push_back({atUs, value});
  ++counters.bytesSent;
}

void BootLoaderSim::SendAll(const std::vector<uint8_t>& bytes) {
  for (uint8_t byte : bytes) Send(byte);
}

const SimTarget* BootLoaderSim::FindTarget(uint8_t id) const {
  for (const SimTarget& target : config.targets) {
    if (target.id == id) return &target;
  }
  return nullptr;
}
