#pragma once
// The serial line between host and device as devsim paces it: a host byte reaches
// the device when it has crossed the line (10 bits at the baud rate), and each
// device byte leaves after the adapter's latency and reaches the host one byte
// time later. Without a baud rate and a latency every byte crosses at once.
//
// Host bytes are handed to the device as soon as they are written, each stamped
// with the time it finishes crossing the line: the device answers with bytes
// stamped with their own times, so it makes no difference that it sees them
// early, and the caller need only wake when a device byte is due at the host.
// Times are microseconds on the caller's clock; the line keeps its own in
// nanoseconds, so that a byte time (173.6 microseconds at 57600 baud) is kept
// exactly over any number of bytes. Nothing here sleeps.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/boot_loader_sim.h"

class PacedLine {
 public:
  PacedLine(uint32_t baud, uint32_t latencyMs);

  // Bytes the host wrote at nowUs: the device receives each when it has crossed
  // the line, and its answers go on their way to the host.
  void FromHost(BootLoaderSim& device, const uint8_t* data, size_t count, uint64_t nowUs);

  // Puts the device's bytes on their way to the host: all it has sent, or, from a
  // device that sends without end, those it has sent by untilUs.
  void TakeDeviceOutput(BootLoaderSim& device, uint64_t untilUs);

  // Appends the device bytes that have reached the host by nowUs.
  void TakeArrived(uint64_t nowUs, std::vector<uint8_t>* bytes);

  // When the next device byte reaches the host; nothing while none is on its way.
  std::optional<uint64_t> NextArrivalUs() const;

  // When the device cut the line (a disconnect fault): the host byte that made it
  // do so has arrived. Nothing while the line is whole.
  std::optional<uint64_t> CutAtUs() const { return cutAtUs; }

  // The host has gone: bytes on their way are lost.
  void Clear();

 private:

  const uint64_t byteNs;
  const uint64_t latencyNs;
  uint64_t hostByteEndNs = 0;
  uint64_t deviceByteEndNs = 0;
  std::deque<TimedByte> toHost;
  std::optional<uint64_t> cutAtUs;
};
