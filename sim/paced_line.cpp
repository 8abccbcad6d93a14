#include "sim/paced_line.h"

#include <algorithm>

namespace {

constexpr uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr uint64_t kNsPerUs = 1000;

// The microsecond by which a moment in nanoseconds has passed: no byte is seen
// before it has crossed.
uint64_t CeilUs(uint64_t ns) { return (ns + kNsPerUs - 1) / kNsPerUs; }

}  // namespace

PacedLine::PacedLine(uint32_t baud, uint32_t latencyMs)
    : byteNs(baud == 0 ? 0 : kBitsPerByte * 1'000'000'000 / baud),
      latencyNs(uint64_t{latencyMs} * 1'000'000) {}

void PacedLine::FromHost(BootLoaderSim& device, const uint8_t* data, size_t count, uint64_t nowUs) {
  for (size_t i = 0; i < count; ++i) {
    hostByteEndNs = std::max(nowUs * kNsPerUs, hostByteEndNs) + byteNs;
    const uint64_t arrivedUs = CeilUs(hostByteEndNs);
    device.Receive(&data[i], 1, arrivedUs);
    if (device.Disconnected() && !cutAtUs) cutAtUs = arrivedUs;
  }
  TakeDeviceOutput(device, nowUs);
}

void PacedLine::TakeDeviceOutput(BootLoaderSim& device, uint64_t untilUs) {
  while (device.HasOutput() &&
         (!device.SendsWithoutEnd() || device.NextOutput().atUs <= untilUs)) {
    const TimedByte next = device.TakeOutput();
    // The adapter holds a byte back for its latency; bytes queued behind it follow
    // without a further delay.
    deviceByteEndNs = std::max(next.atUs * kNsPerUs + latencyNs, deviceByteEndNs) + byteNs;
    toHost.push_back({CeilUs(deviceByteEndNs), next.value});
  }
}

void PacedLine::TakeArrived(uint64_t nowUs, std::vector<uint8_t>* bytes) {
  while (!toHost.empty() && toHost.front().atUs <= nowUs) {
    bytes->push_back(toHost.front().value);
    toHost.pop_front();
  }
}

std::optional<uint64_t> PacedLine::NextArrivalUs() const {
  if (toHost.empty()) return std::nullopt;
  return toHost.front().atUs;
}

void PacedLine::Clear() { toHost.clear(); }
