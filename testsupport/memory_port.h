#pragma once
// An in-memory serial channel for tests: it replays scripted device replies and
// records every byte written. Attach it to a CSerialPort:
//
//   auto owned = std::make_unique<MemoryPort>();
//   MemoryPort* device = owned.get();
//   state.port.Attach(std::move(owned));
//   device->QueueReply({0x11, 0x88});
//   device->QueueTimeout();            // the next read that reaches it times out
//
// A read takes bytes from the script in order. It succeeds when it gets all its
// bytes; at a time-out marker, or when the script runs dry, it takes what came
// before, consumes the marker and returns false. Time passes only on paper: each
// read that times out adds what the time-out rule would have cost to elapsedMs,
// and each reply byte read adds replyGapMs (a device that answers, say, busy every
// 100 ms). The port's clock (NowUs) is elapsedMs.
//
// onWrite, when set, runs after each write, so that a test can answer a request
// (queue replies) or change the update state at a precise moment.

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "link/serial_port.h"

class MemoryPort : public SerialChannel {
 public:
  bool SetTimeouts(uint32_t timeoutMs) override;
  bool Write(const uint8_t* data, uint32_t count) override;
  bool Read(uint8_t* data, uint32_t count) override;
  uint64_t NowUs() const override { return elapsedMs * 1000; }

  void QueueReply(const std::vector<uint8_t>& bytes);
  void QueueTimeout();
  // Writes fail from the n-th write on (counting from 0).
  void FailWritesFrom(size_t n) { failWritesFrom = n; }

  std::vector<uint8_t> written;               // every byte written, in order
  std::vector<std::vector<uint8_t>> writes;   // each Write call separately
  std::vector<uint32_t> timeoutsSet;          // each SetTimeouts value
  uint32_t timeoutMs = 0;
  uint64_t elapsedMs = 0;
  uint32_t replyGapMs = 0;
  size_t readCount = 0;                       // Read calls so far
  std::function<void(MemoryPort&, const std::vector<uint8_t>&)> onWrite;

 private:
  // -1 marks a time-out; 0 to 255 are reply bytes.
  std::deque<int> script;
  size_t failWritesFrom = SIZE_MAX;
};
