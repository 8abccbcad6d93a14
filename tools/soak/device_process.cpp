#include "tools/soak/device_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

// How long devsim may take to announce its terminal.
constexpr int kAnnounceTimeoutMs = 5000;

}  // namespace

DeviceProcess::~DeviceProcess() {
  Kill();
}

bool DeviceProcess::Start(const std::string& devsim, const std::vector<std::string>& arguments,
                          const std::string& logPath, std::string* error) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv{const_cast<char*>(devsim.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid, devsim.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  output = pipeEnds[0];
  if (spawned != 0) {
    pid = -1;
    *error = "cannot start " + devsim + ": " + std::strerror(spawned);
    return false;
  }
  return ReadTerminalPath(kAnnounceTimeoutMs, error);
}

bool DeviceProcess::ReadTerminalPath(int timeoutMs, std::string* error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  terminal.clear();
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{output, POLLIN, 0};
    if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    char c = 0;
    if (read(output, &c, 1) != 1) break;
    if (c == '\n') return true;
    terminal.push_back(c);
  }
  *error = "devsim did not announce its terminal";
  return false;
}

bool DeviceProcess::WaitForExit(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (pid > 0) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (output >= 0) close(output);
  output = -1;
  return true;
}

void DeviceProcess::Kill() {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  if (output >= 0) close(output);
  output = -1;
}
