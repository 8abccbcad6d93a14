// check_bench: the read-through of a whole update file, as `update-cli --check`
// runs it before any update, run as a separate program: its peak resident memory
// for a hostile file (an XSVF record run-length coded into some twelve million
// one-byte commands from about 200 KB) and for the largest real program
// (testdata/xsvf/fpga_config.xsvf). The check reads programs command by command,
// so both stay within the same small bound.
//
// Usage: check_bench [--work DIR]   (generated files go into the work folder)

#include <malloc.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/measured_child.h"
#include "bench/result_table.h"
#include "engine/update_writer.h"
#include "xsvf/file_bytes.h"
#include "xsvf/xsvf_interpreter.h"

namespace {

// update-cli holds the file (at most a few MB here) and one player record; the
// rest is the program itself.
constexpr double kMemoryLimitMiB = 16;
// A bound for a hung run, not a timing.
constexpr std::chrono::seconds kRunLimit{600};

// About 200 KB of stored bytes: 100,000 runs of 127 XTDOMASK codes, each a whole
// command while no data length is set.
std::vector<uint8_t> BombProgram() {
  std::vector<uint8_t> program(size_t{127} * 100000, XTDOMASK);
  program.push_back(XCOMPLETE);
  return program;
}

// Writes an update file with the program as its one JTAG target.
bool WriteUpdateFile(const std::string& path, std::vector<uint8_t> program, bool runLengthCoded) {
  UpdateTarget target;
  target.id = 1;
  target.name = " Logic";
  target.kind = 0xFF00;
  target.runLengthCoded = runLengthCoded;
  target.data = std::move(program);
  std::vector<uint8_t> file;
  std::string reason;
  return BuildUpdateFile("V1.01", {target}, &file, &reason) && WriteFileBytes(path, file);
}

void MeasureCheck(const std::string& work, const std::string& name, const std::string& file,
                  ResultTable& table) {
  // Start the child small (see measured_child.h).
  malloc_trim(0);
  const std::string log = work + "/check-" + name + ".log";
  const StartedChild child = StartMeasuredChild(UPD_UPDATE_CLI_PATH, {"--check", file}, work, log);
  const ChildUsage usage = WaitForChildren({child}, kRunLimit).front();
  const std::string figure = "update-cli --check, " + name + ": peak resident memory";
  if (!usage.ended || usage.exitStatus != 0) {
    table.Add({figure, "FAILED: see " + log});
    return;
  }
  table.AddLimit(figure, usage.maxRssKb / 1024.0, kMemoryLimitMiB, "MiB",
                 Seconds(usage.wallSeconds) + " wall");
}

const std::vector<OptionSpec> kOptions = {kHelpOption, upd::kWorkOption};

}  // namespace

int main(int argc, char** argv) {
  upd::BenchOptions options;
  CommandLine line;
  if (std::optional<int> ended =
          upd::StartBench(argc, argv, "check_bench",
                          "The read-through before an update: its peak memory.\n", kOptions,
                          &options, &line)) {
    return *ended;
  }
  const std::string& work = options.workDir;
  std::cerr << "check_bench: update-cli --check on a hostile file and the largest real one\n";
  const std::string bomb = work + "/bomb.upd";
  const std::string real = work + "/fpga_config.upd";
  std::vector<uint8_t> program;
  if (!WriteUpdateFile(bomb, BombProgram(), true) ||
      !ReadFileBytes(std::string(UPD_SOURCE_DIR) + "/testdata/xsvf/fpga_config.xsvf", &program) ||
      !WriteUpdateFile(real, std::move(program), false)) {
    std::cerr << "check_bench: cannot write the update files into " << work << "\n";
    return 1;
  }
  ResultTable table;
  table.Section("The read-through before an update: peak memory");
  MeasureCheck(work, "run-length bomb (12.7 million commands)", bomb, table);
  MeasureCheck(work, "fpga_config.xsvf (343,706 bytes)", real, table);
  std::cout << "\n";
  table.Print(std::cout);
  return 0;
}
