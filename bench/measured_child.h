#pragma once
// A program run as a child process whose costs are measured: its wall time from
// start to end, its CPU time and its peak resident memory (from the kernel's
// resource usage of the child, wait4). The child starts as a copy of this process,
// so its peak resident memory is at least this process's resident memory at that
// moment: keep it small (see ResidentMemoryKb).

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct ChildUsage {
  bool ended = false;   // false: still running at the time limit, then killed
  int exitStatus = -1;  // the exit code, or 128 + the signal that ended it
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user and system time
  long maxRssKb = 0;
};

struct StartedChild {
  pid_t pid = -1;
  std::chrono::steady_clock::time_point started;
};

// Starts `program` in `directory` with its standard input from /dev/null and its
// standard output and error appended to `logPath`. The pid is -1 if it cannot be
// started.
StartedChild StartMeasuredChild(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& directory, const std::string& logPath);

// This process's resident memory now, from /proc/self/status; 0 if unknown.
long ResidentMemoryKb();

// Waits for every child to end, each on its own, so that each one's end time is
// its own; kills those still running after `limit`. The usages follow the
// children's order.
std::vector<ChildUsage> WaitForChildren(const std::vector<StartedChild>& children,
                                        std::chrono::seconds limit);
