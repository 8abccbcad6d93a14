// devsim through a real pseudo-terminal: the tool started as a process, the
// updater's serial port on the other side.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "testsupport/child_process.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr auto kLimit = std::chrono::seconds(10);  // a bound for a hung devsim

uint8_t Ask(CSerialPort& port, const Bytes& request) {
  uint8_t reply = 0;
  port.Write(request.data(), static_cast<uint32_t>(request.size()));
  return port.Read(&reply, 1) ? reply : 0;
}

// Probes as the updater does until five 0x11 in a row, then starts the boot
// loader, passing over the answers of probes that came late. True if it answered
// 0x88.
bool WakeAndStart(CSerialPort& port) {
  port.SetTimeouts(1);
  int acks = 0;
  for (int probe = 0; probe < 5000 && acks < 5; ++probe) {
    acks = Ask(port, {0xA4}) == 0x11 ? acks + 1 : 0;
  }
  // Generous: a reply comes as soon as it is there, and a loaded machine (the
  // sanitizer stages) may keep devsim from answering for a while.
  port.SetTimeouts(2000);
  uint8_t reply = Ask(port, {0xA3});
  while (reply == 0x11) reply = port.Read(&reply, 1) ? reply : 0;
  return acks == 5 && reply == 0x88;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Devsim, ServesOneUpdatePerConnection) {
  const std::string report = "devsim_report.txt";
  std::remove(report.c_str());
  std::remove("target-01.bin");
  ChildProcess devsim;
  ASSERT_TRUE(devsim.Start(UPD_BINARY_DIR "/tools/devsim",
                           {"--target", "01:firmware", "--switch-on", "20", "--updates", "2",
                            "--dump-blocks", ".", "--report", report}));

  // Each line devsim prints is the path of the terminal for the next connection.
  const std::optional<std::string> firstPath = devsim.NextLine(kLimit);
  ASSERT_TRUE(firstPath);
  {
    CSerialPort port;
    ASSERT_TRUE(port.Open(*firstPath, 57600, 2000)) << *firstPath;
    EXPECT_TRUE(WakeAndStart(port));
  }
  // Closing the line switched the device off and on: the next connection starts
  // from the wake-up again.
  const std::optional<std::string> secondPath = devsim.NextLine(kLimit);
  ASSERT_TRUE(secondPath);
  {
    CSerialPort port;
    ASSERT_TRUE(port.Open(*secondPath, 57600, 2000)) << *secondPath;
    port.SetTimeouts(1);
    EXPECT_EQ(Ask(port, {0xA3}), 0) << "switched off: the request is lost";
    ASSERT_TRUE(WakeAndStart(port));
    EXPECT_EQ(Ask(port, {0xA0, 0x01, 0xFE}), 0x11);
    EXPECT_EQ(Ask(port, {0x00, 0x02, 0xAB, 0xCD}), 0x11);
    const uint8_t end = 0xA2;
    port.Write(&end, 1);
  }
  EXPECT_EQ(devsim.Wait(kLimit), 0) << devsim.Errors();
  EXPECT_EQ(ReadText("target-01.bin"), std::string("\x00\x02\xAB\xCD", 4));
  const std::string counters = ReadText(report);
  EXPECT_NE(counters.find("connections=2\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("starts=2\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("blocks=1\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("ends=1\n"), std::string::npos) << counters;
}

}  // namespace
