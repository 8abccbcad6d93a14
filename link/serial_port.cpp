#include "link/serial_port.h"

#include <utility>

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
