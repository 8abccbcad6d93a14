// devsim through a real pseudo-terminal: the tool started as a process, the
// updater's serial port on the other side.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/serial_port.h"

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;

class DevsimProcess {
 public:
  explicit DevsimProcess(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), UPD_BINARY_DIR "/tools/devsim");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output = fdopen(out[0], "r");
  }

  ~DevsimProcess() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      Wait();
    }
    if (output != nullptr) std::fclose(output);
  }

  // The next line devsim prints: the path of the terminal for the next connection.
  std::string NextPath() {
    char line[256] = {};
    if (output == nullptr || std::fgets(line, sizeof line, output) == nullptr) return "";
    std::string path = line;
    if (!path.empty() && path.back() == '\n') path.pop_back();
    return path;
  }

  // The exit status once devsim has ended by itself.
  int Wait() {
    int status = -1;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) pid = -1;
    return status;
  }

 private:
  pid_t pid = -1;
  std::FILE* output = nullptr;
};

uint8_t Ask(CSerialPort& port, const Bytes& request) {
  uint8_t reply = 0;
  port.Write(request.data(), static_cast<uint32_t>(request.size()));
  return port.Read(&reply, 1) ? reply : 0;
}

// Probes as the updater does until five 0x11 in a row, then starts the boot
// loader. True if it answered 0x88.
bool WakeAndStart(CSerialPort& port) {
  port.SetTimeouts(1);
  int acks = 0;
  for (int probe = 0; probe < 5000 && acks < 5; ++probe) {
    acks = Ask(port, {0xA4}) == 0x11 ? acks + 1 : 0;
  }
  port.SetTimeouts(150);
  return acks == 5 && Ask(port, {0xA3}) == 0x88;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Devsim, ServesOneUpdatePerConnection) {
  const std::string report = "devsim_report.txt";
  std::remove(report.c_str());
  std::remove("target-01.bin");
  DevsimProcess devsim({"--target", "01:firmware", "--switch-on", "20", "--updates", "2",
                        "--dump-blocks", ".", "--report", report});

  const std::string firstPath = devsim.NextPath();
  ASSERT_FALSE(firstPath.empty());
  {
    CSerialPort port;
    ASSERT_TRUE(port.Open(firstPath, 57600, 2000)) << firstPath;
    EXPECT_TRUE(WakeAndStart(port));
  }
  // Closing the line switched the device off and on: the next connection starts
  // from the wake-up again.
  const std::string secondPath = devsim.NextPath();
  ASSERT_FALSE(secondPath.empty());
  {
    CSerialPort port;
    ASSERT_TRUE(port.Open(secondPath, 57600, 2000)) << secondPath;
    port.SetTimeouts(1);
    EXPECT_EQ(Ask(port, {0xA3}), 0) << "switched off: the request is lost";
    ASSERT_TRUE(WakeAndStart(port));
    EXPECT_EQ(Ask(port, {0xA0, 0x01, 0xFE}), 0x11);
    EXPECT_EQ(Ask(port, {0x00, 0x02, 0xAB, 0xCD}), 0x11);
    const uint8_t end = 0xA2;
    port.Write(&end, 1);
  }
  const int status = devsim.Wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadText("target-01.bin"), std::string("\x00\x02\xAB\xCD", 4));
  const std::string counters = ReadText(report);
  EXPECT_NE(counters.find("connections=2\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("starts=2\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("blocks=1\n"), std::string::npos) << counters;
  EXPECT_NE(counters.find("ends=1\n"), std::string::npos) << counters;
}

}  // namespace
