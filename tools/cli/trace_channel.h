#pragma once
// A serial channel that writes every byte each way to a trace file, for bug
// reports. One exchange a line: the time since the trace began, the bytes the host
// sent (hex) and what they are, then each byte the device answered with, as it
// came:
//
//       0.003120 > A4  wake-up probe  < 11 (+1.9 ms)
//       1.204877 > 00 06 42 00 01 11 AE 7B  frame 'B': TAP levels  < 11 (+0.8 ms)
//       1.512000 > A5 05 00  multiplicity query, target 05  < (nothing within 300 ms)
//
// Bytes the device sends without a request before them start a line of their own.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"

class TraceChannel : public SerialChannel {
 public:
  // Traces `line` into `trace`, which stays open as long as the channel does.
  TraceChannel(std::unique_ptr<SerialChannel> line, std::FILE* trace);
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
  uint8_t lastRequest = 0;    // the last single-byte request, for naming what follows
};

// What the host's bytes are, as the trace names them ("wake-up probe", "frame 'S':
// shift of 32 bits", "firmware block of 998 bytes"); empty when they fit nothing
// known. `lastRequest` is the single-byte request sent before them.
std::string NameHostBytes(const uint8_t* data, uint32_t count, uint8_t lastRequest);
