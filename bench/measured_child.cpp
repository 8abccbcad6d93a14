#include "bench/measured_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

int ExitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

ChildUsage Reap(const StartedChild& child) {
  ChildUsage usage;
  int status = 0;
  rusage resources{};
  pid_t reaped;
  do {
    reaped = wait4(child.pid, &status, 0, &resources);
  } while (reaped < 0 && errno == EINTR);
  if (reaped != child.pid) return usage;
  usage.wallSeconds = std::chrono::duration<double>(Clock::now() - child.started).count();
  usage.ended = true;
  usage.exitStatus = ExitStatusOf(status);
  usage.cpuSeconds = Seconds(resources.ru_utime) + Seconds(resources.ru_stime);
  usage.maxRssKb = resources.ru_maxrss;
  return usage;
}

}  // namespace

StartedChild StartMeasuredChild(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& directory, const std::string& logPath) {
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  StartedChild child;
  child.started = Clock::now();
  // A real fork, not the shared-memory start that posix_spawn uses: the child's
  // peak resident memory counts the memory it starts with, which is then a copy of
  // this process's present footprint instead of this process's own peak.
  child.pid = fork();
  if (child.pid == 0) {
    const int input = open("/dev/null", O_RDONLY);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (input < 0 || log < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(log, STDOUT_FILENO) < 0 ||
        dup2(log, STDERR_FILENO) < 0 || chdir(directory.c_str()) != 0) {
      _exit(127);
    }
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  return child;
}

long ResidentMemoryKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

std::vector<ChildUsage> WaitForChildren(const std::vector<StartedChild>& children,
                                        std::chrono::seconds limit) {
  std::vector<ChildUsage> usages(children.size());
  std::mutex lock;
  std::condition_variable changed;
  size_t done = 0;
  std::vector<std::thread> waiters;
  for (size_t i = 0; i < children.size(); ++i) {
    waiters.emplace_back([&, i] {
      ChildUsage usage = children[i].pid > 0 ? Reap(children[i]) : ChildUsage();
      std::lock_guard<std::mutex> hold(lock);
      usages[i] = usage;
      ++done;
      changed.notify_all();
    });
  }
  {
    std::unique_lock<std::mutex> hold(lock);
    if (!changed.wait_for(hold, limit, [&] { return done == children.size(); })) {
      for (size_t i = 0; i < children.size(); ++i) {
        if (children[i].pid > 0 && !usages[i].ended) kill(children[i].pid, SIGKILL);
      }
    }
  }
  for (std::thread& waiter : waiters) waiter.join();
  // A child killed at the limit did not end by itself.
  for (size_t i = 0; i < usages.size(); ++i) {
    if (usages[i].exitStatus == 128 + SIGKILL) usages[i].ended = false;
  }
  return usages;
}
