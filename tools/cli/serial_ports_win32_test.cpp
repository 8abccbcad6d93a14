// The latency hint on Windows, read from the registry itself: the test writes an
// adapter's device parameters under a key of its own and points the search there.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tools/cli/serial_ports.h"

namespace {

const char kTestRoot[] = "SOFTWARE\\FirmwareUpdaterTest\\Enum";

class Win32LatencyAdvice : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\FirmwareUpdaterTest"); }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\FirmwareUpdaterTest"); }

  void AddAdapter(const std::string& port, DWORD latency) {
    const std::string key = std::string(kTestRoot) +
                            "\\FTDIBUS\\VID_0403+PID_6001+A1B2C3A\\0000\\Device Parameters";
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>(port.size() + 1));
    RegSetValueExA(handle, "LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&latency),
                   sizeof latency);
    RegCloseKey(handle);
  }
};

TEST_F(Win32LatencyAdvice, GivesTheStepsWhenTheTimerIsAboveOneMillisecond) {
  AddAdapter("COM42", 16);
  EXPECT_EQ(LatencyAdvice("\\\\.\\COM42", kTestRoot),
            "The USB serial adapter on COM42 holds back every reply for up to 16 ms; JTAG "
            "updates run faster with 1 ms: in Device Manager open Ports (COM & LPT), COM42, "
            "Properties, Port Settings, Advanced, and set Latency Timer (msec) to 1.");
  EXPECT_EQ(LatencyAdvice("\\\\.\\COM41", kTestRoot), "");
}

TEST_F(Win32LatencyAdvice, SaysNothingAtOneMillisecond) {
  AddAdapter("COM42", 1);
  EXPECT_EQ(LatencyAdvice("\\\\.\\COM42", kTestRoot), "");
}

}  // namespace
