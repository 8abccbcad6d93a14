#pragma once
// Command frames to the device's boot loader while a JTAG target is played.
//
// Frame, host to device (big-endian):
//   offset 0      2 bytes  length = payload length + 2 (the bytes after this field)
//   offset 2      n bytes  payload; the first byte is the command letter
//   offset 2 + n  2 bytes  CRC-16 of the payload alone, high byte first
// The device answers each frame with one reply byte. The link handles busy (0x33:
// wait for the next byte) and damaged-frame replies (0x22: send the frame again,
// at most 5 times) itself and returns any other reply to its caller.
//
// Link failures are thrown as CComErrException and caught in one place, the XSVF
// run entry, which ends the run with an error code of its own for each.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "link/serial_port.h"

// How long a device may keep one request waiting with busy replies (or replies
// that are passed over) before the host takes it for hung. No boot loader works on
// one block, its start or one JTAG command (beyond a wait it was asked for) for a
// minute: a flash erase, the longest, takes seconds. A device that answers and
// then keeps reporting busy is thus reported as not responding, not waited for
// without end.
constexpr uint32_t kDeviceBusyLimitMs = 60000;

// Why a command frame did not go through: the link failed, or the device refused
// what the frame asked.
enum class LinkError {
  FrameNotWritten,  // a frame was not written whole (the write's time limit passed)
  NoReply,          // an expected byte did not arrive within the time-outs, or the
                    // device kept the frame busy past its limit
  RepeatedCrc,      // the device reported a damaged frame a sixth time
  BadReadAnswer,    // the read-back answer had a wrong length, echo or CRC
  LevelsRefused,    // the device answered a 'B' frame of TAP steps with other than 0x11
  WaitRefused,      // the device answered a 'T' wait with other than 0x11
};

class CComErrException {
 public:
  explicit CComErrException(LinkError error) : code(error) {}
  LinkError code;
};

// Largest payload of a frame: the frame is built in a fixed buffer of 1000 bytes.
constexpr uint32_t kMaxPayload = 996;

// One step of the CRC-16 with polynomial 0x8005, most significant bit first, in its
// augmented form: the data byte goes into the low end of a 24-bit register.
uint16_t Crc16Step(uint16_t crc, uint8_t byte);

// The CRC of a payload: every byte through Crc16Step from 0, then two zero bytes.
uint16_t Crc16(const uint8_t* data, size_t length);

// The framed link of one update: its port, and the user's cancel request, which
// ends a command the device keeps reporting busy.
class CommandLink {
 public:
  CommandLink(CSerialPort& port, const std::atomic<bool>& cancelRequested)
      : port(port), cancelRequested(cancelRequested) {}

  // Sends one payload as a frame and returns the device's reply (never 0x22 or
  // 0x33). Throws FrameNotWritten, NoReply or RepeatedCrc. When the user has asked
  // to cancel and the device answers busy, sends CmdEnd and returns 0x11. Busy
  // replies are waited out for kDeviceBusyLimitMs from the first sending, on the
  // port's clock, plus the time a wait command ('T') asks for; then NoReply.
  int SendCommand(const uint8_t* payload, uint32_t length);

  // Reads exactly `count` bytes that the device sends after a reply, such as the
  // answer frame of a read-back. Throws NoReply if they do not all arrive.
  void ReadAnswer(uint8_t* data, uint32_t count);

  bool CancelRequested() const { return cancelRequested.load(); }

 private:
  void WriteFrame(const uint8_t* frame, uint32_t size);
  uint8_t ReadReplyByte();

  CSerialPort& port;
  const std::atomic<bool>& cancelRequested;
};
