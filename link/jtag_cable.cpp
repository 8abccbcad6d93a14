#include "link/jtag_cable.h"

#include <cstring>

#include "link/protocol_bytes.h"

namespace {

// Per cache slot, the flag that says the frame carries that slot's vector. Slot
// 1 is never used.
constexpr uint8_t kSlotCarriedFlag[] = {ShiftCarriesTdi, 0x00, ShiftCarriesExpected,
                                        ShiftCarriesMask};

// Shift payload: 'S', flags, 2 count bytes, then up to three coded vectors of at
// most 67 bytes each (205 bytes).
constexpr size_t kShiftPayloadSize = 276;
// Read answer: 2 length bytes, the echo, 2 bytes per data byte, 2 CRC bytes.
constexpr size_t kReadAnswerSize = 276;
constexpr uint32_t kReadAnswerOverhead = 5;
constexpr uint32_t kMaxReadBytes = (kReadAnswerSize - kReadAnswerOverhead) / 2;

uint32_t ByteCount(uint32_t bitCount) {
  return bitCount / 8 + (bitCount % 8 != 0 ? 1 : 0);
}

}  // namespace

// When SendCommand throws, the levels stay queued and go out in front of the next
// ones, should anything be sent again.
void JtagCable::SendLevelFrame() {
  const int reply = link.SendCommand(levelBuffer, levelCount);
  levelCount = 1;
  if (reply != ReplyAck) throw CComErrException(LinkError::LevelsRefused);
}

void JtagCable::SendQueuedLevels() {
  if (levelCount > 1) SendLevelFrame();
}

// True if the vector differs from what the device holds in that slot: the device
// keeps the vectors of the last shift, so an unchanged one need not travel again.
bool JtagCable::VectorChanged(int slot, const uint8_t* vector, uint32_t byteCount,
                              uint32_t bitCount) const {
  return bitCount != lastBitCount || std::memcmp(shiftSlots[slot], vector, byteCount) != 0;
}

void JtagCable::SetPortLevel(uint8_t port, uint8_t level, bool flush) {
  // A full buffer (a long move, or levels a failed frame left queued) goes out as
  // a frame of its own: the device applies the levels in the same order either way.
  if (levelCount == sizeof(levelBuffer)) SendLevelFrame();
  levelBuffer[levelCount++] = static_cast<uint8_t>(port + level * 16);
  if (flush && stepFrames == StepFrames::OnePerStep) SendLevelFrame();
}

uint8_t JtagCable::ShiftBitsequenz(uint32_t bitCount, const uint8_t* tdi, const uint8_t* expected,
                                   const uint8_t* mask, bool exitShift) {
  const uint32_t byteCount = ByteCount(bitCount);
  if (byteCount > kMaxChunkBytes) return 0;
  SendQueuedLevels();

  uint8_t payload[kShiftPayloadSize];
  uint8_t flags = 0;
  if (expected) flags |= ShiftCompare;
  if (expected && mask) flags |= ShiftMasked;
  if (exitShift) flags |= ShiftExit;

  const uint8_t* vectors[kSlotCount] = {tdi, nullptr, expected, mask};
  size_t size = 4;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const uint8_t* vector = vectors[slot];
    if (!vector || byteCount == 0) continue;
    if (!VectorChanged(slot, vector, byteCount, bitCount)) continue;
    flags |= kSlotCarriedFlag[slot];
    std::memcpy(shiftSlots[slot], vector, byteCount);
    size += EncodeVector(vector, byteCount, payload + size);
  }
  lastBitCount = bitCount;

  payload[0] = CableShift;
  payload[1] = flags;
  payload[2] = static_cast<uint8_t>(bitCount >> 8);
  payload[3] = static_cast<uint8_t>(bitCount);
  return static_cast<uint8_t>(link.SendCommand(payload, static_cast<uint32_t>(size)));
}

bool JtagCable::ReadTdoBitsequenz(uint32_t bitCount, uint8_t* out) {
  const uint32_t byteCount = ByteCount(bitCount);
  // The answer to a longer read would not fit the answer buffer.
  if (byteCount > kMaxReadBytes) return false;
  SendQueuedLevels();

  const uint8_t request[] = {CableRead, static_cast<uint8_t>(bitCount >> 8),
                             static_cast<uint8_t>(bitCount)};
  if (link.SendCommand(request, sizeof(request)) != ReplyAck) return false;

  uint8_t answer[kReadAnswerSize];
  const uint32_t answerSize = 2 * byteCount + kReadAnswerOverhead;
  link.ReadAnswer(answer, answerSize);

  const uint32_t lengthField = (static_cast<uint32_t>(answer[0]) << 8) | answer[1];
  if (lengthField != answerSize - 2 || answer[2] != CableRead) {
    throw CComErrException(LinkError::BadReadAnswer);
  }
  // Each data byte travels as two nibbles, high first.
  const uint8_t* nibbles = answer + 3;
  for (uint32_t i = 0; i < byteCount; ++i) {
    out[i] = static_cast<uint8_t>(nibbles[2 * i] * 16 + nibbles[2 * i + 1]);
  }
  // The CRC over the echo, the data and the received CRC itself comes out 0 when
  // they match.
  uint16_t crc = 0;
  for (uint32_t i = 2; i < answerSize; ++i) crc = Crc16Step(crc, answer[i]);
  if (crc != 0) throw CComErrException(LinkError::BadReadAnswer);
  return true;
}

void JtagCable::WaitUsec(uint32_t microseconds) {
  SendQueuedLevels();
  const uint8_t payload[] = {CableWait, static_cast<uint8_t>(microseconds >> 24),
                             static_cast<uint8_t>(microseconds >> 16),
                             static_cast<uint8_t>(microseconds >> 8),
                             static_cast<uint8_t>(microseconds)};
  if (link.SendCommand(payload, sizeof(payload)) != ReplyAck) {
    throw CComErrException(LinkError::WaitRefused);
  }
}

bool JtagCable::SendJtagEnd() {
  SendQueuedLevels();
  const uint8_t payload[] = {CableEnd};
  return link.SendCommand(payload, sizeof(payload)) == ReplyEnd;
}

size_t FindRun(const uint8_t* b, size_t count, size_t* runLength) {
  size_t candidateStart = 0;
  size_t candidateLength = 1;
  for (size_t i = 1; i < count; ++i) {
    if (b[i] == b[i - 1]) {
      ++candidateLength;
    } else if (candidateLength >= kMinRun) {
      break;
    } else {
      candidateStart = i;
      candidateLength = 1;
    }
  }
  if (candidateLength >= kMinRun) {
    *runLength = candidateLength;
    return candidateStart;
  }
  // The bytes end in a short run: the literal stretch takes its first byte.
  *runLength = 0;
  return candidateStart + 1;
}

size_t EncodeVector(const uint8_t* vector, size_t count, uint8_t* out) {
  size_t written = 0;
  size_t position = 0;
  while (position < count) {
    size_t runLength = 0;
    const size_t literalLength = FindRun(vector + position, count - position, &runLength);
    if (literalLength > 0) {
      out[written++] = static_cast<uint8_t>(literalLength);
      std::memcpy(out + written, vector + position, literalLength);
      written += literalLength;
    }
    if (runLength > 0) {
      out[written++] = static_cast<uint8_t>(kRunCodeBit + runLength);
      out[written++] = vector[position + literalLength];
    }
    position += literalLength + runLength;
  }
  return written;
}
