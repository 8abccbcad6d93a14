#include "link/serial_port.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

uint64_t SteadyNowUs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

uint32_t WriteMsPerByte(uint32_t baudRate) {
  constexpr uint32_t kBitsPerByte = 10;
  if (baudRate == 0) baudRate = 1;
  return (2 * kBitsPerByte * 1000 + baudRate - 1) / baudRate;
}

uint32_t WriteLimitMs(uint32_t baudRate, uint32_t count) {
  const uint64_t limit = uint64_t{WriteMsPerByte(baudRate)} * count + kWriteGraceMs;
  return static_cast<uint32_t>(std::min<uint64_t>(limit, UINT32_MAX));
}

uint64_t SerialChannel::NowUs() const { return SteadyNowUs(); }

uint64_t CSerialPort::NowUs() const { return IsOpen() ? channel->NowUs() : SteadyNowUs(); }

bool CSerialPort::Open(const std::string& path, uint32_t baudRate, uint32_t timeoutMs) {
  if (IsOpen()) {
    lastOpenFailure = {PortOpenError::AlreadyOpen, ""};
    return false;
  }
  lastOpenFailure = PortOpenFailure();
  channel = OpenSystemSerialPort(path, baudRate, timeoutMs, &lastOpenFailure);
  if (IsOpen()) lastOpenFailure = PortOpenFailure();
  return IsOpen();
}

bool CSerialPort::Attach(std::unique_ptr<SerialChannel> newChannel) {
  if (IsOpen() || !newChannel) return false;
  channel = std::move(newChannel);
  return true;
}

bool CSerialPort::Close() {
  channel.reset();
  return true;
}

bool CSerialPort::SetTimeouts(uint32_t timeoutMs) {
  return IsOpen() && channel->SetTimeouts(timeoutMs);
}

bool CSerialPort::Write(const void* data, uint32_t count) {
  return IsOpen() && channel->Write(static_cast<const uint8_t*>(data), count);
}

bool CSerialPort::Read(void* data, uint32_t count) {
  return IsOpen() && channel->Read(static_cast<uint8_t*>(data), count);
}
