#include "testsupport/sim_port.h"

#include <algorithm>
#include <utility>

namespace {

// The rate the updater opens its port at, which sets a write's time limit.
constexpr uint32_t kUpdaterBaud = 57600;

}  // namespace

SimPort::SimPort(std::shared_ptr<BootLoaderSim> simulatedDevice)
    : device(std::move(simulatedDevice)) {}

bool SimPort::SetTimeouts(uint32_t timeoutMs) {
  timeoutUs = uint64_t{timeoutMs} * 1000;
  return true;
}

bool SimPort::Write(const uint8_t* data, uint32_t count) {
  if (device->Deaf()) {
    if (unreadBytes + count > kLineBufferBytes) {
      nowUs += uint64_t{WriteLimitMs(kUpdaterBaud, count)} * 1000;
      return false;
    }
    unreadBytes += count;
  }
  device->Receive(data, count, nowUs);
  return true;
}

bool SimPort::Read(uint8_t* data, uint32_t count) {
  const uint64_t deadlineUs = nowUs + timeoutUs * count + timeoutUs;
  for (uint32_t i = 0; i < count; ++i) {
    // The interval limit runs from the previous byte; the first byte has only the
    // total limit.
    const uint64_t limitUs = i == 0 ? deadlineUs : std::min(deadlineUs, nowUs + timeoutUs);
    if (!TakeByteBy(limitUs, &data[i])) return false;
  }
  return true;
}

bool SimPort::TakeByteBy(uint64_t limitUs, uint8_t* byte) {
  const bool due = device->HasOutput() && !device->Disconnected() &&
                   device->NextOutput().atUs <= limitUs;
  if (!due) {
    nowUs = limitUs;
    return false;
  }
  const TimedByte next = device->TakeOutput();
  nowUs = std::max(nowUs, next.atUs);
  *byte = next.value;
  return true;
}
