#include "bench/bench_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using upd::BenchOptions;

const std::vector<OptionSpec> kSpecs = {kHelpOption, upd::kWorkOption,
                                        upd::QuickOption("small sizes"),
                                        {0, "only", "SECTIONS", "only these"}};

// Runs StartBench on the arguments after the program's name.
std::optional<int> Start(std::vector<std::string> arguments, BenchOptions* options) {
  std::vector<char*> argv{const_cast<char*>("bench")};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  CommandLine line;
  return upd::StartBench(static_cast<int>(argv.size()), argv.data(), "bench", "", kSpecs, options,
                         &line);
}

// A section runs when no --only is given, or when it is one of the listed ones
// as a whole word: "jtag" does not run for "jtag2" or "jt".
TEST(BenchOptions, RunsWholeSectionsOfOnly) {
  BenchOptions options;
  EXPECT_TRUE(options.Runs("svf"));
  options.only = "firmware,jtag2,jt";
  EXPECT_FALSE(options.Runs("jtag"));
  EXPECT_TRUE(options.Runs("firmware"));
  EXPECT_TRUE(options.Runs("jt"));
}

TEST(BenchOptions, ReadsTheSharedOptionsAndRefusesWhatMakesNoSense) {
  BenchOptions options;
  EXPECT_EQ(Start({"--quick", "--work=out", "--only", "svf"}, &options), std::nullopt);
  EXPECT_TRUE(options.quick);
  EXPECT_EQ(options.workDir, "out");
  EXPECT_EQ(options.only, "svf");

  BenchOptions defaults;
  EXPECT_EQ(Start({}, &defaults), std::nullopt);
  EXPECT_EQ(defaults.workDir, "bench-work");
  EXPECT_FALSE(defaults.quick);

  EXPECT_EQ(Start({"--fast"}, &options), kExitUsage);
  EXPECT_EQ(Start({"--work"}, &options), kExitUsage);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Start({"extra"}, &options), kExitUsage);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "bench: unexpected argument 'extra'\nTry 'bench --help' for more information.\n");
}

}  // namespace
