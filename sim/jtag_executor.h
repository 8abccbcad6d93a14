#pragma once
// The device's side of the JTAG cable commands: it carries out the payload of one
// verified command frame on the simulated JTAG port (a TAP controller with a chip
// behind it) and gives the reply byte, and for 'R' the answer frame, that the
// device sends.
//
//   'B' levels  each byte is port + level * 16 (port 0 TMS, port 1 TCK), applied in
//               order; a rising TCK clocks the TAP controller.          -> 0x11
//   'S' shift   flags, bit count (2 bytes), the run-length coded vectors the flags
//               announce (TDI 0x08, expected TDO 0x10, mask 0x20). A vector not in
//               the frame is the one last received for its slot. Bits go out LSB
//               first from the last byte (bit 0 of byte n-1 first); with flag 0x04
//               TMS is high on the last bit. With flag 0x01 TDO is compared with
//               the expected vector, under the mask with 0x02.  -> 0x11, or 0x99
//   'R' read    bit count (2 bytes): the TDO bits captured by the last shift, in an
//               answer frame: length 2n+3, 'R', a nibble pair per byte, CRC-16.
//                                                                      -> 0x11
//   'T' wait    microseconds (4 bytes): the port rests that long.      -> 0x11
//   'F' end     the JTAG work is over.                                  -> 0x44
//
// A payload the device cannot use (unknown letter, wrong length, a level byte
// other than the four defined ones, shift flags 0x40/0x80 or 0x02 without 0x01, a
// count above 512 bits, a malformed run-length code, bytes left over) is answered
// 0x22 and changes nothing, so the host's resend finds the device as before.
//
// Frame handling (length, CRC) and fault injection are the boot loader
// simulation's; this class sees only good payloads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/jtag_chip.h"
#include "sim/tap_controller.h"

struct CableResult {
  uint8_t reply = 0;               // 0x11, 0x99, 0x44, or 0x22 for a payload it cannot use
  std::vector<uint8_t> answer;     // for 'R' after 0x11: the whole answer frame
  uint32_t waitMicroseconds = 0;   // for 'T': how long the device waits
  bool ended = false;              // 'F': the JTAG work is over
};

struct CableStatistics {
  uint64_t levelFrames = 0, shifts = 0, comparedShifts = 0, mismatches = 0, reads = 0,
           waits = 0, ends = 0, rejected = 0, bitsShifted = 0, microsecondsWaited = 0;
  // Every level byte applied, counted and folded in order (FNV-1a, 64 bits): two
  // runs that applied the same levels in the same order, however framed, agree.
  uint64_t levels = 0, levelDigest = 0xCBF29CE484222325u;
};

class JtagExecutor {
 public:
  // Most bits one shift carries: the size of a vector slot.
  static constexpr uint32_t kMaxShiftBits = 512;
  static constexpr size_t kSlotBytes = kMaxShiftBits / 8;

  explicit JtagExecutor(std::unique_ptr<JtagChip> chip);

  CableResult Execute(const uint8_t* payload, size_t length);

  // The device was switched off and on: the port is back in Test-Logic-Reset and
  // the vectors it kept are gone; the chip's memory stays.
  void PowerUp();

  // The next compared shift answers 0x99 whatever TDO was (fault injection); the
  // shift itself still happens and its TDO is kept for 'R' as usual.
  void ForceMismatchOnNextCompare() { forceMismatch = true; }

  const CableStatistics& Statistics() const { return statistics; }
  JtagChip& Chip() { return *chip; }
  const TapController& Tap() const { return tap; }

 private:
  using Vector = std::array<uint8_t, kSlotBytes>;

  CableResult SetLevels(const uint8_t* payload, size_t length);
  CableResult Shift(const uint8_t* payload, size_t length);
  CableResult ReadBack(const uint8_t* payload, size_t length);
  CableResult Wait(const uint8_t* payload, size_t length);
  CableResult End(size_t length);
  CableResult Reject();

  void CountLevel(uint8_t level);
  void ClockBits(uint32_t bitCount, bool exitShift);
  bool TdoMatches(uint32_t bitCount, bool masked) const;

  std::unique_ptr<JtagChip> chip;
  TapController tap;
  // The vectors last received, kept for shifts whose frame leaves them out.
  Vector tdi{}, expected{}, mask{};
  // TDO of the last shift, in the same layout as its vectors.
  Vector captured{};
  uint32_t capturedBits = 0;
  bool forceMismatch = false;
  CableStatistics statistics;
};
