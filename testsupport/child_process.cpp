#include "testsupport/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    if (count == 0) CloseFd(fd);
    return;  // the end, or nothing more for now
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

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  const bool started =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  outFd = out[0];
  errFd = err[0];
  if (!started) {
    pid = -1;
    CloseOutputs();
    return false;
  }
  fcntl(outFd, F_SETFL, O_NONBLOCK);
  fcntl(errFd, F_SETFL, O_NONBLOCK);
  return true;
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
