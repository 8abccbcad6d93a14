#include "link/command_link.h"

#include "link/protocol_bytes.h"

namespace {

// A frame: 2 length bytes, the payload, 2 CRC bytes.
constexpr uint32_t kFrameBufferSize = 1000;
constexpr uint32_t kFrameOverhead = 4;

// Times a frame may be sent again after the device reported it damaged.
constexpr int kResendAllowance = 5;

// Bytes of a wait command: 'T' and the microseconds, high byte first.
constexpr uint32_t kWaitPayload = 5;

// How long the device may report the payload busy: the limit for any command,
// and for a wait the time it was asked to wait on top.
uint64_t BusyAllowanceUs(const uint8_t* payload, uint32_t length) {
  uint64_t allowanceUs = uint64_t{kDeviceBusyLimitMs} * 1000;
  if (length == kWaitPayload && payload[0] == CableWait) {
    allowanceUs += uint64_t{payload[1]} << 24 | uint64_t{payload[2]} << 16 |
                   uint64_t{payload[3]} << 8 | payload[4];
  }
  return allowanceUs;
}

// Builds the frame for a payload in `frame`, copying the payload in the same pass
// that runs its CRC. Returns the frame's size.
uint32_t BuildFrame(const uint8_t* payload, uint32_t length, uint8_t* frame) {
  const uint32_t lengthField = length + 2;
  frame[0] = static_cast<uint8_t>(lengthField >> 8);
  frame[1] = static_cast<uint8_t>(lengthField);
  uint16_t crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    frame[2 + i] = payload[i];
    crc = Crc16Step(crc, payload[i]);
  }
  crc = Crc16Step(Crc16Step(crc, 0), 0);
  frame[2 + length] = static_cast<uint8_t>(crc >> 8);
  frame[3 + length] = static_cast<uint8_t>(crc);
  return length + kFrameOverhead;
}

}  // namespace

uint16_t Crc16Step(uint16_t crc, uint8_t byte) {
  // 24-bit register: the CRC above, the data byte below.
  uint32_t reg = (static_cast<uint32_t>(crc) << 8) | byte;
  for (int bit = 0; bit < 8; ++bit) {
    reg <<= 1;
    if (reg & 0x1000000u) reg ^= 0x800500u;  // the polynomial 0x8005 on the upper 16 bits
    reg &= 0xFFFFFFu;
  }
  return static_cast<uint16_t>(reg >> 8);
}

uint16_t Crc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) crc = Crc16Step(crc, data[i]);
  return Crc16Step(Crc16Step(crc, 0), 0);
}

void CommandLink::WriteFrame(const uint8_t* frame, uint32_t size) {
  if (!port.Write(frame, size)) throw CComErrException(LinkError::FrameNotWritten);
}

uint8_t CommandLink::ReadReplyByte() {
  uint8_t reply = 0;
  if (!port.Read(&reply, 1)) throw CComErrException(LinkError::NoReply);
  return reply;
}

int CommandLink::SendCommand(const uint8_t* payload, uint32_t length) {
  // A payload that does not fit the frame buffer cannot be sent at all.
  if (length > kMaxPayload) throw CComErrException(LinkError::FrameNotWritten);

  uint8_t frame[kFrameBufferSize];
  const uint32_t frameSize = BuildFrame(payload, length, frame);
  const uint64_t busyUntilUs = port.NowUs() + BusyAllowanceUs(payload, length);
  WriteFrame(frame, frameSize);

  int resendsLeft = kResendAllowance;
  for (;;) {
    const uint8_t reply = ReadReplyByte();
    if (reply == ReplyBusy) {
      if (!CancelRequested()) {
        // A device that keeps answering busy has hung: it is not responding.
        if (port.NowUs() > busyUntilUs) throw CComErrException(LinkError::NoReply);
        continue;
      }
      // The user wants out while the device works: tell the boot loader to end and
      // let the caller carry on as if the command had been done, so that the run
      // reaches its cancel check.
      const uint8_t end = CmdEnd;
      port.Write(&end, 1);
      return ReplyAck;
    }
    if (reply == ReplyRepeat) {
      if (resendsLeft == 0) throw CComErrException(LinkError::RepeatedCrc);
      --resendsLeft;
      WriteFrame(frame, frameSize);
      continue;
    }
    return reply;
  }
}

void CommandLink::ReadAnswer(uint8_t* data, uint32_t count) {
  if (!port.Read(data, count)) throw CComErrException(LinkError::NoReply);
}
