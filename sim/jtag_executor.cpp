#include "sim/jtag_executor.h"

#include <algorithm>

#include "link/protocol_bytes.h"
#include "sim/device_crc.h"

namespace {

// Shift flags no host sets.
constexpr uint8_t kUnusedFlags = 0xC0;
constexpr size_t kShiftHeader = 4;

// Literal counts and run lengths the device accepts: the host's coder never
// makes anything longer than a cache slot.
constexpr uint8_t kMinLiteral = 0x01;
constexpr uint8_t kMaxLiteral = JtagExecutor::kSlotBytes;
constexpr uint8_t kMinRun = 4;
constexpr uint8_t kMaxRun = JtagExecutor::kSlotBytes;
// Most levels one 'B' command carries: the device's level buffer.
constexpr size_t kMaxLevels = 99;

size_t BytesFor(uint32_t bits) { return (bits + 7) / 8; }

uint32_t ReadBigEndian(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// Bit i of a vector of byteCount bytes whose last byte holds bit 0.
bool VectorBit(const uint8_t* vector, size_t byteCount, uint32_t i) {
  return (vector[byteCount - 1 - i / 8] >> (i % 8)) & 1;
}

void SetVectorBit(uint8_t* vector, size_t byteCount, uint32_t i, bool bit) {
  uint8_t& byte = vector[byteCount - 1 - i / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (i % 8));
  byte = bit ? (byte | mask) : (byte & ~mask);
}

bool IsLevelByte(uint8_t b) {
  const uint8_t port = b & 0x0F;
  const uint8_t level = b >> 4;
  return (port == PortTms || port == PortTck) && level <= 1;
}

// Decodes one run-length coded vector of byteCount bytes starting at data[pos],
// reading no further than data[end - 1], and moves pos past it. False for a code
// byte outside the literal and run ranges, a code that would overfill the vector,
// or a code cut short by the end of the payload.
bool DecodeVector(const uint8_t* data, size_t end, size_t& pos, uint8_t* out,
                  size_t byteCount) {
  size_t filled = 0;
  while (filled < byteCount) {
    if (pos >= end) return false;
    const uint8_t code = data[pos++];
    if (code >= kMinLiteral && code <= kMaxLiteral) {
      if (filled + code > byteCount || end - pos < code) return false;
      std::copy(data + pos, data + pos + code, out + filled);
      pos += code;
      filled += code;
    } else if (code >= kRunCodeBit + kMinRun && code <= kRunCodeBit + kMaxRun) {
      const size_t run = code - kRunCodeBit;
      if (filled + run > byteCount || pos >= end) return false;
      std::fill_n(out + filled, run, data[pos++]);
      filled += run;
    } else {
      return false;
    }
  }
  return true;
}

CableResult ReplyWith(uint8_t reply) {
  CableResult result;
  result.reply = reply;
  return result;
}

}  // namespace

JtagExecutor::JtagExecutor(std::unique_ptr<JtagChip> jtagChip)
    : chip(std::move(jtagChip)), tap(*chip) {}

void JtagExecutor::PowerUp() {
  tap.PowerUp();
  tdi.fill(0);
  expected.fill(0);
  mask.fill(0);
  captured.fill(0);
  capturedBits = 0;
  forceMismatch = false;
}

CableResult JtagExecutor::Execute(const uint8_t* payload, size_t length) {
  if (length == 0) return Reject();
  switch (payload[0]) {
    case CableLevels: return SetLevels(payload, length);
    case CableShift: return Shift(payload, length);
    case CableRead: return ReadBack(payload, length);
    case CableWait: return Wait(payload, length);
    case CableEnd: return End(length);
    default: return Reject();
  }
}

void JtagExecutor::CountLevel(uint8_t level) {
  constexpr uint64_t kFnvPrime = 0x100000001B3u;
  ++statistics.levels;
  statistics.levelDigest = (statistics.levelDigest ^ level) * kFnvPrime;
}

CableResult JtagExecutor::SetLevels(const uint8_t* payload, size_t length) {
  const uint8_t* levels = payload + 1;
  const size_t count = length - 1;
  if (count == 0 || count > kMaxLevels || !std::all_of(levels, levels + count, IsLevelByte)) {
    return Reject();
  }
  for (size_t i = 0; i < count; ++i) {
    CountLevel(levels[i]);
    const bool high = (levels[i] >> 4) != 0;
    if ((levels[i] & 0x0F) == PortTms) {
      tap.SetTms(high);
    } else {
      tap.SetTck(high);
    }
  }
  ++statistics.levelFrames;
  return ReplyWith(ReplyAck);
}

CableResult JtagExecutor::Shift(const uint8_t* payload, size_t length) {
  if (length < kShiftHeader) return Reject();
  const uint8_t flags = payload[1];
  const uint32_t bitCount = ReadBigEndian(payload + 2, 2);
  const bool maskWithoutCompare = (flags & ShiftMasked) && !(flags & ShiftCompare);
  if ((flags & kUnusedFlags) || maskWithoutCompare || bitCount > kMaxShiftBits) return Reject();

  // Decode every vector the frame carries before keeping any of them, so that a
  // rejected frame leaves the slots as they were.
  const size_t byteCount = BytesFor(bitCount);
  const uint8_t carries[3] = {ShiftCarriesTdi, ShiftCarriesExpected, ShiftCarriesMask};
  Vector* slots[3] = {&tdi, &expected, &mask};
  Vector received[3]{};
  size_t pos = kShiftHeader;
  for (int i = 0; i < 3; ++i) {
    if ((flags & carries[i]) && !DecodeVector(payload, length, pos, received[i].data(), byteCount)) {
      return Reject();
    }
  }
  if (pos != length) return Reject();
  for (int i = 0; i < 3; ++i) {
    if (flags & carries[i]) std::copy_n(received[i].begin(), byteCount, slots[i]->begin());
  }

  ClockBits(bitCount, (flags & ShiftExit) != 0);
  ++statistics.shifts;
  if (!(flags & ShiftCompare)) return ReplyWith(ReplyAck);

  ++statistics.comparedShifts;
  const bool matched = TdoMatches(bitCount, (flags & ShiftMasked) != 0) && !forceMismatch;
  forceMismatch = false;
  if (matched) return ReplyWith(ReplyAck);
  ++statistics.mismatches;
  return ReplyWith(ReplyTdoMismatch);
}

void JtagExecutor::ClockBits(uint32_t bitCount, bool exitShift) {
  const size_t byteCount = BytesFor(bitCount);
  captured.fill(0);
  for (uint32_t i = 0; i < bitCount; ++i) {
    const bool lastBit = i + 1 == bitCount;
    const bool tdo = tap.Clock(exitShift && lastBit, VectorBit(tdi.data(), byteCount, i));
    SetVectorBit(captured.data(), byteCount, i, tdo);
  }
  capturedBits = bitCount;
  statistics.bitsShifted += bitCount;
}

bool JtagExecutor::TdoMatches(uint32_t bitCount, bool masked) const {
  const size_t byteCount = BytesFor(bitCount);
  for (uint32_t i = 0; i < bitCount; ++i) {
    if (masked && !VectorBit(mask.data(), byteCount, i)) continue;
    if (VectorBit(captured.data(), byteCount, i) != VectorBit(expected.data(), byteCount, i)) {
      return false;
    }
  }
  return true;
}

CableResult JtagExecutor::ReadBack(const uint8_t* payload, size_t length) {
  if (length != 3) return Reject();
  const uint32_t bitCount = ReadBigEndian(payload + 1, 2);
  if (bitCount > kMaxShiftBits) return Reject();

  // The first bitCount bits the last shift captured, laid out as its vectors are;
  // bits it did not shift read as 0.
  const size_t byteCount = BytesFor(bitCount);
  const size_t capturedBytes = BytesFor(capturedBits);
  Vector bits{};
  for (uint32_t i = 0; i < std::min(bitCount, capturedBits); ++i) {
    SetVectorBit(bits.data(), byteCount, i, VectorBit(captured.data(), capturedBytes, i));
  }

  CableResult result = ReplyWith(ReplyAck);
  std::vector<uint8_t>& answer = result.answer;
  const size_t lengthField = 2 * byteCount + 3;
  answer.push_back(static_cast<uint8_t>(lengthField >> 8));
  answer.push_back(static_cast<uint8_t>(lengthField));
  answer.push_back(CableRead);
  for (size_t k = 0; k < byteCount; ++k) {
    answer.push_back(bits[k] >> 4);
    answer.push_back(bits[k] & 0x0F);
  }
  const uint16_t crc = DeviceCrc16(answer.data() + 2, answer.size() - 2);
  answer.push_back(static_cast<uint8_t>(crc >> 8));
  answer.push_back(static_cast<uint8_t>(crc));
  ++statistics.reads;
  return result;
}

CableResult JtagExecutor::Wait(const uint8_t* payload, size_t length) {
  if (length != 5) return Reject();
  CableResult result = ReplyWith(ReplyAck);
  result.waitMicroseconds = ReadBigEndian(payload + 1, 4);
  tap.Wait(result.waitMicroseconds);
  ++statistics.waits;
  statistics.microsecondsWaited += result.waitMicroseconds;
  return result;
}

CableResult JtagExecutor::End(size_t length) {
  if (length != 1) return Reject();
  CableResult result = ReplyWith(ReplyEnd);
  result.ended = true;
  ++statistics.ends;
  return result;
}

CableResult JtagExecutor::Reject() {
  ++statistics.rejected;
  return ReplyWith(ReplyRepeat);
}
