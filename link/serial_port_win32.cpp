// The serial port on Windows, through the communications API.

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "link/serial_port.h"

namespace {

// Queue sizes the driver is asked for, in bytes.
constexpr DWORD kQueueSize = 1024;

class Win32SerialChannel : public SerialChannel {
 public:
  Win32SerialChannel(HANDLE openHandle, uint32_t baud) : handle(openHandle), baudRate(baud) {}
  ~Win32SerialChannel() override { CloseHandle(handle); }

  // One value t for the interval, per-byte and constant read limits. Writes end
  // short once WriteLimitMs has passed (see serial_port.h): a write that would
  // otherwise wait for ever on a device that has stopped taking bytes.
  bool SetTimeouts(uint32_t timeoutMs) override {
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof(timeouts));
    timeouts.ReadIntervalTimeout = timeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = timeoutMs;
    timeouts.ReadTotalTimeoutConstant = timeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = WriteMsPerByte(baudRate);
    timeouts.WriteTotalTimeoutConstant = kWriteGraceMs;
    return SetCommTimeouts(handle, &timeouts) != 0;
  }

  // A write that times out succeeds with fewer bytes written.
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
  uint32_t baudRate;
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

// The system's text for an error code, without its line end.
std::string SystemErrorText(DWORD error) {
  char text[512] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "error " + std::to_string(error);
  return message;
}

void Fail(PortOpenFailure* failure, PortOpenError reason, DWORD error) {
  failure->reason = reason;
  failure->systemText = SystemErrorText(error);
}

// What a failed CreateFileA means to the user. A port that another program holds
// is refused with "access denied", as the share mode asks.
PortOpenError OpenErrorOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return PortOpenError::Missing;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_BUSY:
      return PortOpenError::Busy;
    default:
      return PortOpenError::NotOpened;
  }
}

// A serial device is a character device that answers the communications calls.
bool CheckSerialDevice(HANDLE handle, PortOpenFailure* failure) {
  DCB current;
  std::memset(&current, 0, sizeof current);
  current.DCBlength = sizeof current;
  if (GetFileType(handle) != FILE_TYPE_CHAR || !GetCommState(handle, &current)) {
    const DWORD error = GetLastError();
    Fail(failure, PortOpenError::NotSerial, error != 0 ? error : ERROR_INVALID_FUNCTION);
    return false;
  }
  return true;
}

}  // namespace

std::string DevicePathOfPort(int portNumber) {
  return "\\\\.\\COM" + std::to_string(portNumber);
}

std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string& path, uint32_t baudRate,
                                                    uint32_t timeoutMs,
                                                    PortOpenFailure* failure) {
  PortOpenFailure unused;
  if (failure == nullptr) failure = &unused;
  // Share mode 0: no other opener while the port is held.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Fail(failure, OpenErrorOf(error), error);
    return nullptr;
  }
  auto channel = std::make_unique<Win32SerialChannel>(handle, baudRate);
  if (!CheckSerialDevice(handle, failure)) return nullptr;  // the channel closes the handle
  if (!SetupComm(handle, kQueueSize, kQueueSize) || !ApplyLineSettings(handle, baudRate) ||
      !channel->SetTimeouts(timeoutMs)) {
    Fail(failure, PortOpenError::Refused, GetLastError());
    return nullptr;
  }
  return channel;
}
