#pragma once
// JTAG cable commands: the five operations through which the XSVF player drives
// the device's JTAG port. Each sends one command frame over the framed link.
//
// TAP steps (TMS, TCK low, TCK high) are queued as levels. Batched, every level
// queued since the last frame goes out as one 'B' frame just before the next
// command of another kind, or when the buffer is full; one step per frame, each
// step goes out as it ends, as a boot loader that takes a single step per frame
// needs. Either way the device applies the same levels in the same order.
//
//   'B' levels   'B', then 1 to 99 level bytes (port + level * 16)   reply 0x11
//   'S' shift    'S', flags, bit count (2 bytes), coded vectors     reply 0x11 / 0x99
//   'R' read     'R', bit count (2 bytes); after 0x11 an answer frame with the bits
//   'T' wait     'T', microseconds (4 bytes)                        reply 0x11
//   'F' end      'F'                                                reply 0x44
//
// Shift flags: 0x01 compare TDO with an expected vector, 0x02 ... under a mask,
// 0x04 exit Shift on the last bit, 0x08 / 0x10 / 0x20 the frame carries the TDI /
// expected / mask vector. A vector equal to the one last sent for the same bit
// count is left out; the device uses the one it holds. Each vector is run-length
// coded: a byte below 0x80 is a literal count L (1 to 64) followed by L bytes, a
// byte 0x80 + R (R = 4 to 64) is followed by one byte repeated R times.
//
// All may throw CComErrException (see command_link.h); a 'B' or 'T' frame the
// device answers with anything but 0x11 throws LevelsRefused or WaitRefused, since
// the program cannot go on from a TAP state or a wait it does not know happened.

#include <cstddef>
#include <cstdint>

#include "link/command_link.h"
#include "link/protocol_bytes.h"

// Most levels one 'B' frame carries.
constexpr uint32_t kMaxLevels = 99;

// Runs shorter than this travel as literal bytes.
constexpr size_t kMinRun = 4;

// Most bits one 'S' command carries per vector: the size of a cache slot.
constexpr uint32_t kMaxChunkBits = 512;
constexpr uint32_t kMaxChunkBytes = kMaxChunkBits / 8;

// How TAP steps travel: batched into as few 'B' frames as the buffer allows, or
// each in a frame of its own.
enum class StepFrames { Batched, OnePerStep };

// The cable of one JTAG run: the levels queued for the next 'B' frame, and the
// shift cache, the vectors the device holds from the last shifts. A new cable
// starts empty, as the device does after it was switched on: so each run of a
// program gets one of its own.
class JtagCable {
 public:
  explicit JtagCable(CommandLink& link, StepFrames stepFrames = StepFrames::Batched)
      : link(link), stepFrames(stepFrames) {}
  JtagCable(const JtagCable&) = delete;
  JtagCable& operator=(const JtagCable&) = delete;

  // Queues a level; `flush` marks the end of a TAP step. One step per frame, the
  // levels queued go out now as one 'B' frame; batched, they wait for the next
  // command of another kind. A full buffer goes out before another level is queued.
  void SetPortLevel(uint8_t port, uint8_t level, bool flush);

  // Sends the levels queued, if any, as one 'B' frame. Every other command does
  // this first; the run does it when it ends without one.
  void SendQueuedLevels();

  // Shifts bitCount bits (at most 512). tdi is required; expected and mask may be
  // null. Each vector has ceil(bitCount / 8) bytes, most significant byte first.
  // Returns the device's reply byte, or 0 without sending anything when the
  // vectors are longer than a cache slot.
  uint8_t ShiftBitsequenz(uint32_t bitCount, const uint8_t* tdi, const uint8_t* expected,
                          const uint8_t* mask, bool exitShift);

  // Reads back the TDO bits captured by the last shift into out (ceil(bitCount / 8)
  // bytes). False if the device did not accept the request; throws NoReply or
  // BadReadAnswer for a missing or damaged answer.
  bool ReadTdoBitsequenz(uint32_t bitCount, uint8_t* out);

  // The device waits that many microseconds.
  void WaitUsec(uint32_t microseconds);

  // Ends the JTAG work on the device. True if it replied 0x44.
  bool SendJtagEnd();

  CommandLink& Link() { return link; }

 private:
  static constexpr int kSlotCount = 4;

  void SendLevelFrame();
  bool VectorChanged(int slot, const uint8_t* vector, uint32_t byteCount,
                     uint32_t bitCount) const;

  CommandLink& link;
  const StepFrames stepFrames;
  // Levels queued for the next 'B' frame; byte 0 is the command letter.
  uint8_t levelBuffer[kMaxLevels + 1] = {CableLevels};
  uint32_t levelCount = 1;
  // The vectors as last sent, per slot (slot 1 is never used), and the bit count
  // of the last shift.
  uint8_t shiftSlots[kSlotCount][kMaxChunkBytes] = {};
  uint32_t lastBitCount = 0;
};

// Splits the start of b[0..count) into a literal stretch and a run of equal bytes:
// returns the literal length L and sets *runLength to R (0, or at least 4).
size_t FindRun(const uint8_t* b, size_t count, size_t* runLength);

// Appends the run-length code of one vector (count >= 1) to out; returns the
// number of bytes written (at most count + 3 for count <= 64).
size_t EncodeVector(const uint8_t* vector, size_t count, uint8_t* out);
