#include "testsupport/memory_port.h"

bool MemoryPort::SetTimeouts(uint32_t newTimeoutMs) {
  timeoutMs = newTimeoutMs;
  timeoutsSet.push_back(newTimeoutMs);
  return true;
}

bool MemoryPort::Write(const uint8_t* data, uint32_t count) {
  if (writes.size() >= failWritesFrom) {
    writes.emplace_back();
    return false;
  }
  std::vector<uint8_t> bytes(data, data + count);
  written.insert(written.end(), bytes.begin(), bytes.end());
  writes.push_back(bytes);
  if (onWrite) onWrite(*this, bytes);
  return true;
}

bool MemoryPort::Read(uint8_t* data, uint32_t count) {
  ++readCount;
  for (uint32_t i = 0; i < count; ++i) {
    if (script.empty() || script.front() < 0) {
      if (!script.empty()) script.pop_front();
      elapsedMs += static_cast<uint64_t>(timeoutMs) * count + timeoutMs;
      return false;
    }
    data[i] = static_cast<uint8_t>(script.front());
    script.pop_front();
    elapsedMs += replyGapMs;
  }
  return true;
}

void MemoryPort::QueueReply(const std::vector<uint8_t>& bytes) {
  script.insert(script.end(), bytes.begin(), bytes.end());
}

void MemoryPort::QueueTimeout() {
  script.push_back(-1);
}
