#pragma once
// The updater's connection to the device: one serial device opened exclusively,
// 8 data bits, no parity, one stop bit, no flow control, DTR and RTS inactive,
// with blocking exact-length transfers under a read time limit.
//
// Time-outs: SetTimeouts(t) makes a Read of k bytes end when the k bytes have
// arrived, when more than t ms pass between two bytes, or when t * k + t ms have
// passed in all, whichever comes first. A Read that ends short returns false (the
// bytes that did arrive are in the buffer). Writes have no time limit.
//
// The platform back end is chosen by file: serial_port_posix.cpp (termios) or
// serial_port_win32.cpp (Win32 communications API).

#include <cstdint>
#include <memory>
#include <string>

// An open channel to the device. Abstract so that tests and the in-process
// device simulator can stand in for the serial device behind CSerialPort.
// Destroying a channel closes it.
class SerialChannel {
 public:
  virtual ~SerialChannel() = default;
  virtual bool SetTimeouts(uint32_t timeoutMs) = 0;
  virtual bool Write(const uint8_t* data, uint32_t count) = 0;
  virtual bool Read(uint8_t* data, uint32_t count) = 0;
  // The device has gone away (an adapter unplugged, the far side of a
  // pseudo-terminal closed): nothing will come over this channel again. May be
  // asked from another thread than the one reading.
  virtual bool Gone() const { return false; }
};

// Opens and configures the system's serial device at `path`; nullptr if the
// device does not exist, is held by another program or refuses the settings.
std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string& path, uint32_t baudRate,
                                                    uint32_t timeoutMs);

class CSerialPort {
 public:
  CSerialPort() = default;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // False if the port is already open (the open connection is left untouched) or
  // the device cannot be opened and configured.
  bool Open(const std::string& path, uint32_t baudRate, uint32_t timeoutMs);
  // Puts an already open channel (a test double, the in-process simulator) behind
  // the port; false if the port is already open.
  bool Attach(std::unique_ptr<SerialChannel> channel);
  // Always true; afterwards the port is not open.
  bool Close();
  bool IsOpen() const { return channel != nullptr; }

  bool SetTimeouts(uint32_t timeoutMs);
  bool Write(const void* data, uint32_t count);
  bool Read(void* data, uint32_t count);
  // The open device has gone away (see SerialChannel::Gone).
  bool Gone() const { return IsOpen() && channel->Gone(); }

 private:
  std::unique_ptr<SerialChannel> channel;
};
