#pragma once
// The project's programs as separate processes, for the end-to-end tests
// (POSIX): devsim serving the simulated device on a pseudo-terminal, a tool run
// to its end with what it printed, and the lines and JSON objects of its output.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "testsupport/captured_text.h"
#include "testsupport/child_process.h"
#include "testsupport/json_lines.h"

// Bounds for a hung program, not timings.
constexpr std::chrono::seconds kStartLimit{10};
constexpr std::chrono::seconds kUpdateLimit{60};

// The build's programs, by name ("update-cli").
std::string ToolPath(const std::string& tool);

// A folder of the test's own in the working directory, emptied.
std::string FreshFolder(const std::string& name);
void SaveText(const std::string& path, const std::string& text);

// devsim on a fresh pseudo-terminal, its counters written to a report file when
// it ends. By default it serves one update; options may say otherwise.
class Devsim {
 public:
  Devsim(const std::string& folder, std::vector<std::string> options, int updates = 1);

  bool Started() const { return port.has_value(); }
  std::string Port() const { return port.value_or(""); }

  // Ends devsim, which no updater has talked to (or which serves for ever).
  void Stop();

  // Waits for devsim to end once the updater has closed the line; its counters.
  std::map<std::string, uint64_t> Report();

 private:
  ChildProcess process;
  std::string reportPath;
  std::optional<std::string> port;
};

struct CliRun {
  std::optional<int> exitStatus;  // nothing if it did not end in time
  std::string output;
  std::string errors;
};

// Runs one of the tools to its end; `meanwhile` acts on it while it runs.
CliRun RunTool(const std::string& tool, const std::vector<std::string>& arguments,
               const std::function<void(ChildProcess&)>& meanwhile = {});
