// The Win32 back end's reasons for a port that cannot be opened, in the system's
// own words: a port that does not exist, the null device and a plain file.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "link/serial_port.h"

namespace {

PortOpenFailure FailureOf(const std::string& path) {
  CSerialPort port;
  EXPECT_FALSE(port.Open(path, 57600, 150)) << path;
  return port.LastOpenFailure();
}

TEST(Win32PortOpenFailure, SaysWhyFromTheSystemsOwnError) {
  EXPECT_EQ(DevicePathOfPort(3), "\\\\.\\COM3");
  const PortOpenFailure missing = FailureOf(DevicePathOfPort(199));
  EXPECT_EQ(missing.reason, PortOpenError::Missing);
  EXPECT_FALSE(missing.systemText.empty());

  EXPECT_EQ(FailureOf("NUL").reason, PortOpenError::NotSerial);

  std::FILE* plain = std::fopen("plain.txt", "wb");
  ASSERT_NE(plain, nullptr);
  std::fputs("not a port", plain);
  std::fclose(plain);
  const PortOpenFailure file = FailureOf("plain.txt");
  EXPECT_EQ(file.reason, PortOpenError::NotSerial);
  EXPECT_FALSE(file.systemText.empty());
}

}  // namespace
