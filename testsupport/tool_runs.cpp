#include "testsupport/tool_runs.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

std::string ToolPath(const std::string& tool) {
  return std::string(UPD_BINARY_DIR) + "/tools/" + tool;
}

std::string FreshFolder(const std::string& name) {
  std::filesystem::remove_all(name);
  std::filesystem::create_directories(name);
  return name;
}

void SaveText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Devsim::Devsim(const std::string& folder, std::vector<std::string> options, int updates)
    : reportPath(folder + "/report.txt") {
  if (updates > 0) options.insert(options.end(), {"--updates", std::to_string(updates)});
  options.insert(options.end(), {"--report", reportPath});
  if (process.Start(ToolPath("devsim"), options)) port = process.NextLine(kStartLimit);
}

void Devsim::Stop() {
  process.Signal(SIGTERM);
}

std::map<std::string, uint64_t> Devsim::Report() {
  const std::optional<int> status = process.Wait(kStartLimit);
  EXPECT_EQ(status, 0) << process.Errors();
  std::map<std::string, uint64_t> counters;
  std::ifstream in(reportPath);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      counters[line.substr(0, equals)] = std::stoull(line.substr(equals + 1));
    }
  }
  return counters;
}

CliRun RunTool(const std::string& tool, const std::vector<std::string>& arguments,
               const std::function<void(ChildProcess&)>& meanwhile) {
  ChildProcess process;
  if (!process.Start(ToolPath(tool), arguments)) return {};
  if (meanwhile) meanwhile(process);
  CliRun run;
  run.exitStatus = process.Wait(kUpdateLimit);
  run.output = process.Output();
  run.errors = process.Errors();
  return run;
}
