#pragma once
// What the benchmark programs' command lines share, read through the programs'
// shared command line (tools/common/command_line.h): where the generated files
// go, a quick run, and the sections to run (--only SECTIONS, comma-separated;
// its help is each program's own).

#include <optional>
#include <string>
#include <vector>

#include "tools/common/command_line.h"

namespace upd {

// --work DIR: where the generated files and logs go.
extern const OptionSpec kWorkOption;
// --quick: small sizes, to try a benchmark out; what it shrinks is the program's.
OptionSpec QuickOption(const char* help);

struct BenchOptions {
  std::string workDir = "bench-work";
  bool quick = false;
  std::string only;  // comma-separated sections; empty: all

  // Whether `section` is among the --only sections (every one when none are given).
  bool Runs(const std::string& section) const;
};

// Reads a benchmark's command line into *options (and *line, for the program's own
// options). When the program ends there (--help, or a command line that makes no
// sense), returns its exit status.
std::optional<int> StartBench(int argc, char** argv, const char* program,
                              const std::string& summary, const std::vector<OptionSpec>& specs,
                              BenchOptions* options, CommandLine* line);

}  // namespace upd
