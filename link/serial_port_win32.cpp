// The serial port on Windows, through the communications API.

#include <windows.h>

#include <atomic>
#include <cstring>

#include "link/serial_port.h"

namespace {

// Queue sizes the driver is asked for, in bytes.
constexpr DWORD kQueueSize = 1024;

class Win32SerialChannel : public SerialChannel {
 public:
  explicit Win32SerialChannel(HANDLE openHandle) : handle(openHandle) {}
  ~Win32SerialChannel() override { CloseHandle(handle); }

  // One value t for the interval, per-byte and constant read limits; writes have
  // no time limit.
  bool SetTimeouts(uint32_t timeoutMs) override {
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof(timeouts));
    timeouts.ReadIntervalTimeout = timeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = timeoutMs;
    timeouts.ReadTotalTimeoutConstant = timeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(handle, &timeouts) != 0;
  }

  bool Write(const uint8_t* data, uint32_t count) override {
    DWORD written = 0;
    return Succeeded(WriteFile(handle, data, count, &written, nullptr)) && written == count;
  }

  // A read that times out succeeds with fewer bytes; one that fails has lost the
  // device (an adapter unplugged).
  bool Read(uint8_t* data, uint32_t count) override {
    DWORD received = 0;
    return Succeeded(ReadFile(handle, data, count, &received, nullptr)) && received == count;
  }

  bool Gone() const override { return gone.load(); }

 private:
  bool Succeeded(BOOL result) {
    if (result == 0) gone.store(true);
    return result != 0;
  }

  HANDLE handle;
  std::atomic<bool> gone{false};
};

// 8N1 at the given rate, binary, no flow control of any kind, DTR and RTS held
// inactive. The device's current settings are not read first: every field not set
// here is 0.
bool ApplyLineSettings(HANDLE handle, uint32_t baudRate) {
  DCB dcb;
  std::memset(&dcb, 0, sizeof(dcb));
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = baudRate;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  return SetCommState(handle, &dcb) != 0;
}

}  // namespace

std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string& path, uint32_t baudRate,
                                                    uint32_t timeoutMs) {
  // Share mode 0: no other opener while the port is held.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto channel = std::make_unique<Win32SerialChannel>(handle);
  if (!SetupComm(handle, kQueueSize, kQueueSize) || !ApplyLineSettings(handle, baudRate) ||
      !channel->SetTimeouts(timeoutMs)) {
    return nullptr;  // the channel closes the handle
  }
  return channel;
}
