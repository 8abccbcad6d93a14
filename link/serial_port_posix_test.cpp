// The termios back end against a pseudo-terminal: the port opens the slave side,
// the test plays the device on the master side.

#include "link/serial_port_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slavePath = ptsname(master);
  }
  ~PseudoTerminal() { HangUp(); }

  bool Ready() const { return master >= 0 && !slavePath.empty(); }

  void HangUp() {
    if (master >= 0) close(master);
    master = -1;
  }

  void Send(const Bytes& bytes) const {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Whatever the port wrote, up to `count` bytes, waiting at most 2 s for them.
  Bytes Receive(size_t count) const {
    Bytes bytes;
    const Clock::time_point start = Clock::now();
    while (bytes.size() < count && MillisSince(start) < 2000) {
      pollfd entry{master, POLLIN, 0};
      if (poll(&entry, 1, 100) <= 0) continue;
      uint8_t chunk[4096];
      const ssize_t n = read(master, chunk, std::min(sizeof(chunk), count - bytes.size()));
      if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  // The slave's line settings, as seen through the master.
  termios Settings() const {
    termios settings{};
    tcgetattr(master, &settings);
    return settings;
  }

  int master = -1;
  std::string slavePath;
};

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.Ready()); }

  PseudoTerminal pty;
  CSerialPort port;
};

TEST_F(SerialPortTest, OpensRaw8N1WithoutFlowControl) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  const termios settings = pty.Settings();
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
  EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B57600));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY), 0u);

  // Bytes that a cooked or flow-controlled line would eat or change: XON (also the
  // device's acknowledgement), XOFF, CR, LF, interrupt, end of file, erase, 0xFF.
  const Bytes controlBytes{0x11, 0x13, 0x0D, 0x0A, 0x03, 0x04, 0x7F, 0xFF, 0x00};
  pty.Send(controlBytes);
  Bytes in(controlBytes.size());
  EXPECT_TRUE(port.Read(in.data(), static_cast<uint32_t>(in.size())));
  EXPECT_EQ(in, controlBytes);
  EXPECT_TRUE(port.Write(controlBytes.data(), static_cast<uint32_t>(controlBytes.size())));
  EXPECT_EQ(pty.Receive(controlBytes.size()), controlBytes);
}

TEST_F(SerialPortTest, WriteBlocksUntilEveryByteIsTaken) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  // More than the pseudo-terminal holds, so the port must wait for the reader.
  Bytes block(64 * 1024);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 31 + i / 256);
  Bytes received;
  std::thread reader([&] { received = pty.Receive(block.size()); });
  EXPECT_TRUE(port.Write(block.data(), static_cast<uint32_t>(block.size())));
  reader.join();
  EXPECT_EQ(received, block);
}

// A device that stops reading: the pseudo-terminal's buffer fills, and the write
// that no longer fits ends short once its limit has passed instead of blocking
// for ever. The line is not gone: once the device reads again, writes go through.
TEST_F(SerialPortTest, WriteToADeviceThatStoppedReadingEndsAtItsLimit) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  const Bytes block(1000, 0x5A);
  const uint32_t size = static_cast<uint32_t>(block.size());
  size_t taken = 0;
  bool written = true;
  long long failedWriteMs = 0;
  // The buffer holds some kilobytes; a megabyte is far more than it takes.
  while (written && taken < 1000) {
    const Clock::time_point start = Clock::now();
    written = port.Write(block.data(), size);
    failedWriteMs = MillisSince(start);
    taken += written ? 1 : 0;
  }
  ASSERT_FALSE(written) << "a megabyte went into a line that nobody reads";
  EXPECT_GE(failedWriteMs, WriteLimitMs(57600, size));
  EXPECT_FALSE(port.Gone());

  // The reader takes what comes for its 2 s.
  std::thread reader([&] { pty.Receive(1000 * 1000); });
  EXPECT_TRUE(port.Write(block.data(), size));
  reader.join();
}

TEST(WriteLimit, IsTwiceTheLineTimePerByteAndAGrace) {
  EXPECT_EQ(WriteMsPerByte(57600), 1u);   // 0.35 ms rounded up
  EXPECT_EQ(WriteMsPerByte(9600), 3u);    // 2.08 ms rounded up
  EXPECT_EQ(WriteMsPerByte(300), 67u);
  EXPECT_EQ(WriteLimitMs(57600, 1000), 1000u + kWriteGraceMs);
  EXPECT_EQ(WriteLimitMs(57600, 0), kWriteGraceMs);
}

TEST_F(SerialPortTest, ReadEndsByTheTimeLimits) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 2000));
  ASSERT_TRUE(port.SetTimeouts(150));
  uint8_t byte = 0;
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(port.Read(&byte, 1));  // 150 * 1 + 150 ms
  EXPECT_GE(MillisSince(start), 250);
  EXPECT_LE(MillisSince(start), 1500);

  // Bytes that arrive in pieces, each within the interval, make a whole read.
  std::thread device([&] {
    for (uint8_t b = 1; b <= 4; ++b) {
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      pty.Send({b});
    }
  });
  uint8_t four[4] = {};
  EXPECT_TRUE(port.Read(four, 4));
  device.join();
  EXPECT_EQ(Bytes(four, four + 4), (Bytes{1, 2, 3, 4}));

  // Bytes that stop coming end the read one interval after the last: far sooner
  // than the 150 * 20 + 150 ms of the whole read.
  pty.Send({0xA1, 0xA2, 0xA3});
  uint8_t twenty[20] = {};
  start = Clock::now();
  EXPECT_FALSE(port.Read(twenty, 20));
  EXPECT_GE(MillisSince(start), 100);
  EXPECT_LE(MillisSince(start), 1500);
  EXPECT_EQ(Bytes(twenty, twenty + 3), (Bytes{0xA1, 0xA2, 0xA3}));
}

// A hung-up line fails like a silent one, and says that its device has gone.
TEST_F(SerialPortTest, HungUpLineFailsLikeASilentOneAndIsGone) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 100));
  uint8_t byte = 0;
  EXPECT_FALSE(port.Read(&byte, 1));
  EXPECT_FALSE(port.Gone()) << "silence is not a lost device";
  pty.HangUp();
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(port.Read(&byte, 1));
  EXPECT_GE(MillisSince(start), 150);
  EXPECT_TRUE(port.Gone());
  const uint8_t probe = 0xA4;
  EXPECT_FALSE(port.Write(&probe, 1));
}

TEST_F(SerialPortTest, OnlyOneOpenerAtATime) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  EXPECT_EQ(OpenSystemSerialPort(pty.slavePath, 57600, 150), nullptr);

  // Opening again while open fails and leaves the connection working.
  PseudoTerminal other;
  ASSERT_TRUE(other.Ready());
  EXPECT_FALSE(port.Open(other.slavePath, 57600, 150));
  const uint8_t probe = 0xA4;
  EXPECT_TRUE(port.Write(&probe, 1));
  EXPECT_EQ(pty.Receive(1), Bytes{0xA4});

  // Once closed, the device is free for the next opener.
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(port.Open(pty.slavePath, 57600, 150));
}

TEST_F(SerialPortTest, ClosedPortRefusesTransfers) {
  uint8_t byte = 0;
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Read(&byte, 1));
  EXPECT_FALSE(port.Write(&byte, 1));
  EXPECT_FALSE(port.SetTimeouts(150));

  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Write(&byte, 1));
}

TEST_F(SerialPortTest, FailedOpenLeavesThePortFreeForAnother) {
  EXPECT_FALSE(port.Open("/dev/no-such-serial-device", 57600, 150));
  EXPECT_FALSE(port.Open("/dev/null", 57600, 150));          // not a serial device
  EXPECT_FALSE(port.Open(pty.slavePath, 12345, 150));        // a rate it does not know
  EXPECT_TRUE(port.Open(pty.slavePath, 115200, 150));
  const termios settings = pty.Settings();
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
}

// Each way an open fails says why, in the system's own words where a call failed.
class PortOpenFailureTest : public SerialPortTest {
 protected:
  static PortOpenFailure FailureOf(const std::string& path, uint32_t baudRate = 57600) {
    PortOpenFailure failure;
    EXPECT_EQ(OpenSystemSerialPort(path, baudRate, 150, &failure), nullptr) << path;
    return failure;
  }

  void SetUp() override {
    SerialPortTest::SetUp();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/plain.txt") << "not a device";
  }

  const std::string folder = std::filesystem::absolute("open_failures").string();
};

TEST_F(PortOpenFailureTest, SaysWhyFromTheSystemsOwnError) {
  const struct {
    std::string path;
    PortOpenError reason;
    std::string text;
  } cases[] = {
      {folder + "/no-such-port", PortOpenError::Missing, "No such file or directory"},
      {"/dev/null", PortOpenError::NotSerial, "Inappropriate ioctl for device"},
      {folder + "/plain.txt", PortOpenError::NotSerial, "not a character device"},
      {folder, PortOpenError::NotSerial, "Is a directory"},
  };
  for (const auto& c : cases) {
    const PortOpenFailure failure = FailureOf(c.path);
    EXPECT_EQ(failure.reason, c.reason) << c.path;
    EXPECT_EQ(failure.systemText, c.text) << c.path;
  }
  const PortOpenFailure rate = FailureOf(pty.slavePath, 12345);
  EXPECT_EQ(rate.reason, PortOpenError::Refused);
  EXPECT_EQ(rate.systemText, "no such baud rate: 12345");
}

TEST_F(PortOpenFailureTest, APortHeldByAnotherOpenerIsBusy) {
  ASSERT_TRUE(port.Open(pty.slavePath, 57600, 150));
  EXPECT_EQ(port.LastOpenFailure().reason, PortOpenError::None);
  const PortOpenFailure failure = FailureOf(pty.slavePath);
  EXPECT_EQ(failure.reason, PortOpenError::Busy);
  // Turned away by the exclusive mode, or (for an administrator, whom that mode
  // lets through) by the lock.
  EXPECT_TRUE(failure.systemText == std::strerror(EBUSY) ||
              failure.systemText == std::strerror(EWOULDBLOCK))
      << failure.systemText;

  CSerialPort second;
  EXPECT_FALSE(second.Open(pty.slavePath, 57600, 150));
  EXPECT_EQ(second.LastOpenFailure().reason, PortOpenError::Busy);
  EXPECT_FALSE(port.Open(pty.slavePath, 57600, 150));
  EXPECT_EQ(port.LastOpenFailure().reason, PortOpenError::AlreadyOpen);
}

TEST_F(PortOpenFailureTest, AFileTheUserMayNotOpenIsNotTheirs) {
  if (geteuid() == 0) GTEST_SKIP() << "an administrator may open any file";
  const std::string locked = folder + "/locked";
  std::ofstream(locked) << "";
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const PortOpenFailure failure = FailureOf(locked);
  EXPECT_EQ(failure.reason, PortOpenError::NoPermission);
  EXPECT_EQ(failure.systemText, "Permission denied");
}

// /dev/tty, or any path to the terminal the program runs on, is not a port to
// update: a child whose controlling terminal is the pseudo-terminal tries both.
TEST_F(PortOpenFailureTest, TheProgramsOwnTerminalIsNotASerialDevice) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();
    const int terminal = open(pty.slavePath.c_str(), O_RDWR);  // becomes the controlling one
    PortOpenFailure viaTty;
    PortOpenFailure viaPath;
    const bool refused = terminal >= 0 &&
                         OpenSystemSerialPort("/dev/tty", 57600, 150, &viaTty) == nullptr &&
                         OpenSystemSerialPort(pty.slavePath, 57600, 150, &viaPath) == nullptr;
    const bool said = viaTty.reason == PortOpenError::NotSerial &&
                      viaTty.systemText == "it is this program's own terminal" &&
                      viaPath.reason == PortOpenError::NotSerial;
    _exit(refused && said ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SystemDevicePathTest, MapsWindowsPortNamesToStandardSerialPorts) {
  EXPECT_EQ(DevicePathOfPort(1), "/dev/ttyS0");
  EXPECT_EQ(DevicePathOfPort(10), "/dev/ttyS9");
  EXPECT_EQ(SystemDevicePath("COM3"), "/dev/ttyS2");
  EXPECT_EQ(SystemDevicePath("com10"), "/dev/ttyS9");
  EXPECT_EQ(SystemDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SystemDevicePath("COM0"), "COM0");
  EXPECT_EQ(SystemDevicePath("COMX"), "COMX");
  // The Windows API's device names are Windows' own: DevicePathOfPort gives the
  // path of this system, so nothing here takes one apart.
  EXPECT_EQ(SystemDevicePath("\\\\.\\COM1"), "\\\\.\\COM1");
}

}  // namespace
