#pragma once
// Details of the termios back end that callers and tests may want to see.

#include <string>

// The device to open for a port path. A Windows port name, "COMn" (n from 1, in
// any case), names the n-th standard serial port, DevicePathOfPort(n); any other
// path is a device path already and is returned unchanged.
std::string SystemDevicePath(const std::string& path);
