#pragma once
// Details of the termios back end that callers and tests may want to see.

#include <string>

// The device to open for a port path. Windows port names, "\\.\COMn" and "COMn"
// (n from 1), name the n-th standard serial port, /dev/ttyS(n-1); any other path is
// a device path already and is returned unchanged.
std::string SystemDevicePath(const std::string& path);
