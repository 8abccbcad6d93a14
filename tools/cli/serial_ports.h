#pragma once
// What update-cli knows about the machine's serial ports beyond opening them:
// which are present and what the system knows of each, why one could not be
// opened, and whether its adapter delays every reply. Platform code lives in
// serial_ports_posix.cpp / serial_ports_win32.cpp.

#include <cstdio>
#include <string>
#include <vector>

#include "link/serial_port.h"

struct SerialPortInfo {
  std::string path;  // what --port takes
  // What the system tells of the port's USB adapter and driver (sysfs on Linux);
  // empty where it tells nothing.
  std::string vendorId;   // e.g. "0403"
  std::string productId;  // e.g. "6001"
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::string driver;     // e.g. "ftdi_sio", "cdc_acm", "serial8250"
  std::string systemName; // Windows: the device behind the name, e.g. \Device\Serial0
  // One line for people: "USB 0403:6001 FTDI FT232R USB UART, serial A1B2C3,
  // driver ftdi_sio".
  std::string Description() const;
};

// Where the system describes its devices: the sysfs root on Linux ("/sys"), the
// registry's key of enumerated devices on Windows; tests give a tree of their own.
std::string SystemRoot();

// The serial ports present on this machine, by path.
std::vector<SerialPortInfo> ListSerialPorts(const std::string& systemRoot = SystemRoot());

// The device path that --port names: COMn (or \\.\COMn) becomes the system's path
// of port n; anything else is taken as a device path.
std::string DevicePathOfArgument(const std::string& port);

// The complete text update-cli prints for a port that could not be opened, from
// the reason the serial port gave (CSerialPort::LastOpenFailure), two lines
// without a final line end: what is wrong, with the system's words for it, and
// what to do. `port` is the port as the user named it. MsgPortInUse ("in use or
// does not exist") only for a port that is missing or held by another program.
std::string PortOpenFailureText(const std::string& port, const PortOpenFailure& failure);

// A hint, given once before an update, when the port's USB adapter holds back
// replies longer than it needs to (latency timer above 1 ms, as the system reports
// it under systemRoot: sysfs on Linux, the adapter driver's device parameters in
// the registry on Windows), with the steps to lower it; empty otherwise.
std::string LatencyAdvice(const std::string& devicePath,
                          const std::string& systemRoot = SystemRoot());

// The hint's text for an adapter whose timer is `milliseconds`, with the steps to
// lower it.
std::string LatencyAdviceText(const std::string& adapter, const std::string& milliseconds,
                              const std::string& howToLower);

// update-cli --ports: the serial ports present, one per line, or one JSON
// document with --json. Returns the exit status, 0.
int RunPortsCommand(std::FILE* out, bool json = false,
                    const std::string& systemRoot = SystemRoot());

// Platform parts, in serial_ports_posix.cpp / serial_ports_win32.cpp.
// The device that was tried for a port path, as the user may look for it.
std::string PortDeviceName(const std::string& devicePath);
// What to do when the user may not open a port.
std::string PermissionAdvice();
