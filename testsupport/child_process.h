#pragma once
// A program run as a child process for the end-to-end tests (POSIX): started with
// its arguments, its standard output and error captured, waited for with a time
// limit, sent signals, and killed if the test leaves it running.

#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child that still runs is killed and reaped.
  ~ChildProcess();

  // Starts `program` with `arguments`, standard input from /dev/null. False if it
  // cannot be started.
  bool Start(const std::string& program, const std::vector<std::string>& arguments);

  // Starts `program` with its standard output on a terminal of its own, `columns`
  // wide, which is its controlling terminal as a user's would be (Type() then
  // reaches it as keys). `environment` holds NAME=value settings that replace or
  // add to this process's. Standard error stays a pipe.
  bool StartOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                       int columns, const std::vector<std::string>& environment = {});
  // Sends keys to the terminal: "\x03" is Ctrl-C.
  bool Type(const std::string& keys) const;

  // Collects the child's output until `done` holds, the child has closed both of
  // its outputs, or `limit` has passed. Returns done().
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // The next whole line of standard output after those already taken, without
  // its line end; nothing if none comes within `limit`.
  std::optional<std::string> NextLine(std::chrono::milliseconds limit);

  // Waits for the child to end, collecting its output. The exit status, or 128
  // plus the signal that ended it; nothing if it still runs after `limit`.
  std::optional<int> Wait(std::chrono::milliseconds limit);

  bool Signal(int signal) const;
  pid_t Pid() const { return pid; }

  const std::string& Output() const { return output; }
  const std::string& Errors() const { return errors; }

 private:
  using Clock = std::chrono::steady_clock;

  // Reads whatever is available, waiting until `deadline` for something to come.
  // False once both outputs are closed.
  bool Collect(Clock::time_point deadline);
  bool Reaped(bool block);
  void CloseOutputs();
  bool Spawn(const std::string& program, const std::vector<std::string>& arguments,
             posix_spawn_file_actions_t* actions, const posix_spawnattr_t* attributes,
             char* const* environment);

  pid_t pid = -1;
  int exitStatus = -1;
  int outFd = -1;
  int errFd = -1;
  std::string output;
  std::string errors;
  size_t linesTaken = 0;  // offset in `output` after the last line NextLine gave
};
