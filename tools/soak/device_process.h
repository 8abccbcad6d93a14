#pragma once
// devsim as a child process: started with its options, it announces the
// pseudo-terminal the updater is to open, serves one update and ends once the
// updater has closed the line (or when a fault has cut it).

#include <sys/types.h>

#include <string>
#include <vector>

class DeviceProcess {
 public:
  DeviceProcess() = default;
  DeviceProcess(const DeviceProcess&) = delete;
  DeviceProcess& operator=(const DeviceProcess&) = delete;
  ~DeviceProcess();  // kills the process if it still runs

  // Starts devsim with the arguments, its standard error going to logPath, and
  // waits for the terminal's path. False with *error if it does not come.
  bool Start(const std::string& devsim, const std::vector<std::string>& arguments,
             const std::string& logPath, std::string* error);
  const std::string& TerminalPath() const { return terminal; }
  pid_t Pid() const { return pid; }

  // Waits up to timeoutMs for the process to end; true once it has.
  bool WaitForExit(int timeoutMs);
  void Kill();

 private:
  bool ReadTerminalPath(int timeoutMs, std::string* error);

  pid_t pid = -1;
  int output = -1;  // the read end of devsim's standard output
  std::string terminal;
};
