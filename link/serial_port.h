#pragma once
// The updater's connection to the device: one serial device opened exclusively,
// 8 data bits, no parity, one stop bit, no flow control, DTR and RTS inactive,
// with blocking exact-length transfers under a read time limit.
//
// Time-outs: SetTimeouts(t) makes a Read of k bytes end when the k bytes have
// arrived, when more than t ms pass between two bytes, or when t * k + t ms have
// passed in all, whichever comes first. A Read that ends short returns false (the
// bytes that did arrive are in the buffer).
//
// Writes: a Write of k bytes returns false when the bytes have not all been taken
// within WriteLimitMs(baud rate, k), as libserialport's blocking write with a
// time-out does. A line without flow control takes bytes at its rate whatever the
// device does; one that stops taking them (a USB adapter whose device has stopped
// reading, a pseudo-terminal whose other side does not read) must not hold the
// host.
//
// The platform back end is chosen by file: serial_port_posix.cpp (termios) or
// serial_port_win32.cpp (Win32 communications API).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Time a write may take beyond its bytes' time on the line: generous for a driver
// that hands the bytes on in batches, short enough that an operator sees a stuck
// line as a device that does not respond rather than as a hang.
constexpr uint32_t kWriteGraceMs = 2000;

// Milliseconds a write may take per byte at `baudRate`: twice a byte's time on the
// line (10 bits), rounded up (1 ms at 57600 baud).
uint32_t WriteMsPerByte(uint32_t baudRate);

// The time limit of a write of `count` bytes: WriteMsPerByte for each plus
// kWriteGraceMs, the rule that Windows' write time-outs (multiplier and constant)
// express, which the POSIX back end applies itself.
uint32_t WriteLimitMs(uint32_t baudRate, uint32_t count);

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
  // The line's clock in microseconds from an arbitrary start: the system's steady
  // clock, or the virtual clock of a device simulated without real time. Limits on
  // how long the host waits for a device are measured on it.
  virtual uint64_t NowUs() const;
};

// Why a serial device could not be opened, sorted by what the user must do.
enum class PortOpenError {
  None,          // it was opened
  AlreadyOpen,   // the CSerialPort holds a connection already
  Missing,       // there is no such device
  NoPermission,  // the user may not open it
  Busy,          // another program holds it
  NotSerial,     // it is no serial device: a file, a folder, a null device, the
                 // program's own terminal
  Refused,       // it is one, but refused the line settings
  NotOpened,     // the system would not open it for another reason (a name too
                 // long, no file handles left)
};

struct PortOpenFailure {
  PortOpenError reason = PortOpenError::None;
  // The system's own words for it, e.g. "Device or resource busy" (strerror, or
  // the Windows error text), or what the check found when no call failed; empty
  // for None.
  std::string systemText;
};

// The system's device path of serial port n (n from 1), the one Windows calls
// COMn: "\\.\COMn" on Windows, the n-th standard serial port /dev/ttyS(n-1)
// elsewhere.
std::string DevicePathOfPort(int portNumber);

// Opens and configures the system's serial device at `path`; nullptr if the
// device does not exist, is held by another program, is no serial device or
// refuses the settings, with the reason in *failure if given.
std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string& path, uint32_t baudRate,
                                                    uint32_t timeoutMs,
                                                    PortOpenFailure* failure = nullptr);

// How a front end reaches a port by its path: OpenSystemSerialPort at the
// updater's settings, unless a caller that runs the front end in process supplies
// its own lines (simulated devices on a virtual clock).
using LineOpener = std::function<std::unique_ptr<SerialChannel>(const std::string& path,
                                                                PortOpenFailure* failure)>;

class CSerialPort {
 public:
  CSerialPort() = default;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // False if the port is already open (the open connection is left untouched) or
  // the device cannot be opened and configured; LastOpenFailure says why.
  bool Open(const std::string& path, uint32_t baudRate, uint32_t timeoutMs);
  // Why the last Open failed; reason None after one that succeeded.
  const PortOpenFailure& LastOpenFailure() const { return lastOpenFailure; }
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
  // The open channel's clock (see SerialChannel::NowUs); the system's steady clock
  // while the port is not open.
  uint64_t NowUs() const;

 private:
  std::unique_ptr<SerialChannel> channel;
  PortOpenFailure lastOpenFailure;
};
