#include "bench/bench_options.h"

namespace upd {

const OptionSpec kWorkOption = {0, "work", "DIR",
                                "where the generated files and logs go (default bench-work)"};

OptionSpec QuickOption(const char* help) {
  return {0, "quick", nullptr, help};
}

bool BenchOptions::Runs(const std::string& section) const {
  return only.empty() || ("," + only + ",").find("," + section + ",") != std::string::npos;
}

std::optional<int> StartBench(int argc, char** argv, const char* program,
                              const std::string& summary, const std::vector<OptionSpec>& specs,
                              BenchOptions* options, CommandLine* line) {
  const std::string usage = "usage: " + std::string(program) + " [OPTION...]\n" + summary +
                            "\nOptions:\n" + OptionHelp(specs);
  if (std::optional<int> ended = StartProgram(argc, argv, specs, program, usage, line)) {
    return ended;
  }
  if (!line->operands.empty()) {
    return ReportUsageError(stderr, program, "unexpected argument '" + line->operands[0] + "'");
  }
  options->workDir = line->Value("work", options->workDir);
  options->quick = line->Has("quick");
  options->only = line->Value("only");
  return std::nullopt;
}

}  // namespace upd
