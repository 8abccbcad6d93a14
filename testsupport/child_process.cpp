#include "testsupport/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace {

// How often Wait looks for the end of a child that has already closed its outputs.
constexpr auto kReapInterval = std::chrono::milliseconds(2);

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Moves what `fd` holds into `text`; closes it at its end.
void Drain(int& fd, std::string& text) {
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
      text.append(buffer, static_cast<size_t>(count));
      continue;
    }
    // The end: a pipe's end of file, or a terminal whose other side has closed.
    if (count == 0 || (errno != EAGAIN && errno != EINTR)) CloseFd(fd);
    return;
  }
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid > 0) {
    kill(pid, SIGKILL);
    Reaped(true);
  }
  CloseOutputs();
}

bool ChildProcess::Spawn(const std::string& program, const std::vector<std::string>& arguments,
                         posix_spawn_file_actions_t* actions, const posix_spawnattr_t* attributes,
                         char* const* environment) {
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const bool started =
      posix_spawn(&pid, program.c_str(), actions, attributes, argv.data(), environment) == 0;
  posix_spawn_file_actions_destroy(actions);
  if (!started) {
    pid = -1;
    CloseOutputs();
    return false;
  }
  fcntl(outFd, F_SETFL, O_NONBLOCK);
  fcntl(errFd, F_SETFL, O_NONBLOCK);
  return true;
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  outFd = out[0];
  errFd = err[0];
  const bool started = Spawn(program, arguments, &actions, nullptr, environ);
  close(out[1]);
  close(err[1]);
  return started;
}

bool ChildProcess::StartOnTerminal(const std::string& program,
                                   const std::vector<std::string>& arguments, int columns,
                                   const std::vector<std::string>& environment) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  const char* name = terminal < 0 ? nullptr : ptsname(terminal);
  int err[2];
  if (name == nullptr || grantpt(terminal) != 0 || unlockpt(terminal) != 0 ||
      pipe2(err, O_CLOEXEC) != 0) {
    if (terminal >= 0) close(terminal);
    return false;
  }
  winsize size{};
  size.ws_row = 40;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(terminal, TIOCSWINSZ, &size);

  std::vector<std::string> settings = environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string setting = *entry;
    const std::string key = setting.substr(0, setting.find('=') + 1);
    const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& s) {
      return s.compare(0, key.size(), key) == 0;
    });
    if (!replaced) settings.push_back(setting);
  }
  std::vector<char*> envp;
  for (std::string& setting : settings) envp.push_back(setting.data());
  envp.push_back(nullptr);

  // A session of its own, whose first terminal becomes its controlling one.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, name, O_RDWR, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  outFd = terminal;
  errFd = err[0];
  const bool started = Spawn(program, arguments, &actions, &attributes, envp.data());
  posix_spawnattr_destroy(&attributes);
  close(err[1]);
  return started;
}

bool ChildProcess::Type(const std::string& keys) const {
  return outFd >= 0 && write(outFd, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
}

bool ChildProcess::Collect(Clock::time_point deadline) {
  if (outFd < 0 && errFd < 0) return false;
  pollfd watched[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (poll(watched, 2, static_cast<int>(std::max<int64_t>(left.count(), 0))) > 0) {
    if (outFd >= 0 && watched[0].revents != 0) Drain(outFd, output);
    if (errFd >= 0 && watched[1].revents != 0) Drain(errFd, errors);
  }
  return outFd >= 0 || errFd >= 0;
}

bool ChildProcess::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done() && Clock::now() < deadline) {
    if (!Collect(deadline)) break;
  }
  return done();
}

std::optional<std::string> ChildProcess::NextLine(std::chrono::milliseconds limit) {
  const auto lineEnd = [this] { return output.find('\n', linesTaken) != std::string::npos; };
  if (!WaitUntil(lineEnd, limit)) return std::nullopt;
  const size_t end = output.find('\n', linesTaken);
  std::string line = output.substr(linesTaken, end - linesTaken);
  linesTaken = end + 1;
  return line;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline && Collect(deadline)) {
  }
  // The outputs are closed: the child is ending, or has ended.
  while (pid > 0 && !Reaped(false) && Clock::now() < deadline) {
    std::this_thread::sleep_for(kReapInterval);
  }
  if (pid > 0) return std::nullopt;
  return exitStatus;
}

bool ChildProcess::Signal(int signal) const {
  return pid > 0 && kill(pid, signal) == 0;
}

bool ChildProcess::Reaped(bool block) {
  int status = 0;
  if (waitpid(pid, &status, block ? 0 : WNOHANG) != pid) return false;
  exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid = -1;
  return true;
}

void ChildProcess::CloseOutputs() {
  CloseFd(outFd);
  CloseFd(errFd);
}
