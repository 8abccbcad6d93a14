#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tools/cli/serial_ports.h"

namespace {

namespace fs = std::filesystem;

// A device node stand-in named like a USB adapter's tty, reached through a link
// as /dev/serial/by-id names it, and a sysfs tree that reports its latency timer.
class LatencyAdviceTest : public ::testing::Test {
 protected:
  LatencyAdviceTest() {
    fs::remove_all(root);
    fs::create_directories(root + "/dev/serial/by-id");
    fs::create_directories(timerFolder);
    std::ofstream(root + "/dev/ttyUSB7") << "";
    fs::create_symlink("../../ttyUSB7", byId);
  }

  void SetTimer(const std::string& value) {
    std::ofstream(timerFolder + "/latency_timer") << value;
  }

  const std::string root = fs::absolute("latency").string();
  const std::string sysfs = root + "/sys";
  const std::string timerFolder = sysfs + "/bus/usb-serial/devices/ttyUSB7";
  const std::string byId = root + "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
};

TEST_F(LatencyAdviceTest, NamesTheTimerAndHowToLowerItWhenAboveOneMillisecond) {
  SetTimer("16\n");
  const std::string advice = LatencyAdvice(byId, sysfs);
  EXPECT_NE(advice.find("ttyUSB7"), std::string::npos) << advice;
  EXPECT_NE(advice.find("16 ms"), std::string::npos) << advice;
  EXPECT_NE(advice.find("echo 1 | sudo tee " + timerFolder + "/latency_timer"), std::string::npos)
      << advice;
}

TEST_F(LatencyAdviceTest, SaysNothingAtOneMillisecondOrWithoutATimer) {
  SetTimer("1\n");
  EXPECT_EQ(LatencyAdvice(byId, sysfs), "");
  fs::remove(timerFolder + "/latency_timer");
  EXPECT_EQ(LatencyAdvice(byId, sysfs), "");
  EXPECT_EQ(LatencyAdvice(root + "/dev/no-such-tty", sysfs), "");
}

// COMn names the system's serial port: the advice speaks of the device that was
// tried, not of the Windows name.
TEST(PortOpenAdvice, NamesTheDeviceBehindAWindowsPortName) {
  EXPECT_NE(PortOpenAdvice("\\\\.\\COM1").find("/dev/ttyS0"), std::string::npos);
  EXPECT_NE(PortOpenAdvice("COM3").find("/dev/ttyS2"), std::string::npos);
  const std::string missing = PortOpenAdvice("/dev/no-such-tty");
  EXPECT_NE(missing.find("/dev/no-such-tty does not exist"), std::string::npos) << missing;
}

}  // namespace
