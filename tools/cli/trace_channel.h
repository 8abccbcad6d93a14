#pragma once
// A serial channel that writes every byte each way to a trace file, for bug
// reports. Each opening of the port begins with a heading line of its own, from
// which the times count again; then one exchange a line: the time since the
// heading, the bytes the host sent (hex) and what they are, then each byte the
// device answered with, as it came:
//
//   # /dev/ttyUSB0 opened at 2026-03-02T14:05:09Z; seconds from here
//       0.003120 > A4  wake-up probe  < 11 (+1.9 ms)
//       1.204877 > 00 06 42 00 01 11 AE 7B  frame 'B': TAP levels  < 11 (+0.8 ms)
//       1.512000 > A5 05 00  multiplicity query, target 05  < (nothing within 300 ms)
//
// Bytes the device sends without a request before them start a line of their own.
// What the host's bytes are follows from where the exchange stands, not from the
// bytes alone: a firmware block may look like a command frame.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"

// Names what the host sends, in order, as the trace shows it ("wake-up probe",
// "frame 'S': shift of 32 bits", "firmware block of 998 bytes"), following the
// exchange: after a target's selection pair (sent again when the device answers
// 0x22), the JTAG kind makes every later write a command frame; anything else
// makes them firmware blocks, up to the next request.
class HostBytesNamer {
 public:
  // What `data` are; empty when they fit nothing known at this point.
  std::string Name(const uint8_t* data, uint32_t count);
  // The device's one-byte reply to what was named last.
  void Answered(uint8_t reply);

 private:
  enum class Phase { Requests, Selecting, Selected, Firmware, Jtag };
  std::string NameWithinTarget(const uint8_t* data, uint32_t count);

  Phase phase = Phase::Requests;
};

class TraceChannel : public SerialChannel {
 public:
  // Traces `line` into `trace`, which stays open as long as the channel does,
  // after the heading line "# HEADING".
  TraceChannel(std::unique_ptr<SerialChannel> line, std::FILE* trace, const std::string& heading);
  ~TraceChannel() override;

  bool SetTimeouts(uint32_t timeoutMs) override;
  bool Write(const uint8_t* data, uint32_t count) override;
  bool Read(uint8_t* data, uint32_t count) override;
  bool Gone() const override { return line->Gone(); }

 private:
  using Clock = std::chrono::steady_clock;

  double SecondsSince(Clock::time_point start) const;
  void EndLine();

  std::unique_ptr<SerialChannel> line;
  std::FILE* trace;
  Clock::time_point started = Clock::now();
  Clock::time_point lastWrite = started;
  uint32_t timeoutMs = 0;
  bool lineOpen = false;      // an exchange's line waits for more answer bytes
  bool answerOpen = false;    // the device's answer has begun on it
  HostBytesNamer namer;
};
