#pragma once
// What update-cli knows about the machine's serial ports beyond opening them:
// which are present, why one could not be opened, and whether its adapter delays
// every reply. Platform code lives in serial_ports_posix.cpp / serial_ports_win32.cpp.

#include <cstdio>
#include <string>
#include <vector>

struct SerialPortInfo {
  std::string path;         // what --port takes
  std::string description;  // e.g. "USB 0403:6001 FTDI FT232R USB UART, serial A1B2C3"
};

// The serial ports present on this machine.
std::vector<SerialPortInfo> ListSerialPorts();

// The device path that --port names: COMn (or \\.\COMn) becomes the system's path
// of port n; anything else is taken as a device path.
std::string DevicePathOfArgument(const std::string& port);

// A hint on what to do when the port could not be opened (e.g. the user lacks
// permission); empty when there is nothing more to say.
std::string PortOpenAdvice(const std::string& devicePath);

// A hint when the port's USB adapter holds back replies longer than it needs to
// (latency timer above 1 ms, as the system reports it under sysfsRoot); empty
// otherwise.
std::string LatencyAdvice(const std::string& devicePath, const std::string& sysfsRoot = "/sys");

// update-cli --ports: the serial ports present, one per line.
int RunPortsCommand(std::FILE* out);
