// svf2xsvf and mkupd --svf as separate programs: the program they write, the
// listing, the first fault with its place and no output left behind, and
// update-cli reading the packed file as it reads any XSVF target.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "testsupport/child_process.h"

namespace {

using namespace std::chrono_literals;

const std::string kTools = UPD_BINARY_DIR "/tools/";
const std::string kSvfCorpus = UPD_SOURCE_DIR "/testdata/svf/";
// A bound for a hung program, not a timing.
constexpr auto kToolLimit = 60s;

struct ToolRun {
  std::optional<int> exitStatus;
  std::string output;
  std::string errors;
};

ToolRun RunTool(const std::string& tool, const std::vector<std::string>& arguments) {
  ChildProcess process;
  if (!process.Start(kTools + tool, arguments)) return {};
  ToolRun run;
  run.exitStatus = process.Wait(kToolLimit);
  run.output = process.Output();
  run.errors = process.Errors();
  return run;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FreshFolder(const std::string& name) {
  std::filesystem::remove_all(name);
  std::filesystem::create_directories(name);
  return name + "/";
}

TEST(Svf2xsvf, WritesTheProgramAndListsItAsXsvfdumpDoes) {
  const std::string folder = FreshFolder("svf2xsvf_written");
  const std::string svf = kSvfCorpus + "cpld64_erase.svf";
  const ToolRun written = RunTool("svf2xsvf", {svf, folder + "erase.xsvf"});
  ASSERT_EQ(written.exitStatus, 0) << written.errors;
  EXPECT_EQ(written.output, "");
  EXPECT_EQ(written.errors, svf + ":24:1: note: instruction scans that expect TDO: 2 (the first "
                                  "here); XSVF cannot compare an instruction scan's TDO, so they "
                                  "shift without that check\n");

  const ToolRun listed = RunTool("svf2xsvf", {"--listing", svf});
  const ToolRun dumped = RunTool("xsvfdump", {folder + "erase.xsvf"});
  ASSERT_EQ(listed.exitStatus, 0);
  EXPECT_EQ(listed.output, dumped.output);
  EXPECT_EQ(listed.errors, written.errors);
}

TEST(Svf2xsvf, ReportsTheFirstFaultWithItsPlaceAndLeavesNoProgram) {
  const std::string folder = FreshFolder("svf2xsvf_fault");
  std::ofstream(folder + "bad.svf") << "STATE IDLE;\nSIR 8 TDI (01);\nPIO (HL);\nFOO;\n";
  std::ofstream(folder + "bad.xsvf") << "an older program";
  const ToolRun run = RunTool("svf2xsvf", {folder + "bad.svf", folder + "bad.xsvf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, folder + "bad.svf:3:1: PIO is refused: an XSVF program drives the JTAG "
                                 "port only, it has no parallel I/O\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "bad.xsvf"));

  const ToolRun listed = RunTool("svf2xsvf", {"--listing", folder + "bad.svf"});
  EXPECT_EQ(listed.exitStatus, 1);
  EXPECT_EQ(listed.output, "");
  EXPECT_EQ(listed.errors, run.errors);

  const ToolRun usage = RunTool("svf2xsvf", {folder + "bad.svf"});
  EXPECT_EQ(usage.exitStatus, 2);
  EXPECT_NE(usage.errors.find("usage: svf2xsvf IN.svf OUT.xsvf"), std::string::npos);
}

TEST(MkupdSvf, PacksTheConvertedProgramThatUpdateCliReadsAsXsvf) {
  const std::string folder = FreshFolder("mkupd_svf");
  const std::string svf = kSvfCorpus + "cpld36_program.svf";
  const ToolRun converted = RunTool("svf2xsvf", {svf, folder + "program.xsvf"});
  ASSERT_EQ(converted.exitStatus, 0) << converted.errors;

  const ToolRun fromSvf =
      RunTool("mkupd", {"-o", folder + "svf.upd", "--svf", "03", "Logic", svf, "--rle"});
  ASSERT_EQ(fromSvf.exitStatus, 0) << fromSvf.errors;
  EXPECT_EQ(fromSvf.errors, converted.errors);  // the same notes
  const ToolRun fromXsvf = RunTool(
      "mkupd", {"-o", folder + "xsvf.upd", "--xsvf", "03", "Logic", folder + "program.xsvf", "--rle"});
  ASSERT_EQ(fromXsvf.exitStatus, 0) << fromXsvf.errors;
  EXPECT_EQ(ReadWhole(folder + "svf.upd"), ReadWhole(folder + "xsvf.upd"));

  const ToolRun check = RunTool("update-cli", {"--check", folder + "svf.upd"});
  EXPECT_EQ(check.exitStatus, 0) << check.output << check.errors;
  const ToolRun list = RunTool("update-cli", {"--list", folder + "svf.upd"});
  EXPECT_EQ(list.exitStatus, 0);
  EXPECT_NE(list.output.find(" 1  Logic"), std::string::npos) << list.output;
}

TEST(MkupdSvf, RefusesAnSvfProgramWithItsFirstFault) {
  const std::string folder = FreshFolder("mkupd_svf_fault");
  std::ofstream(folder + "bad.svf") << "SDR 8 TDX (1);\n";
  const ToolRun run =
      RunTool("mkupd", {"-o", folder + "bad.upd", "--svf", "03", "Logic", folder + "bad.svf"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.errors,
            "mkupd: " + folder + "bad.svf:1:7: expected TDI, TDO, MASK, SMASK or ';', found 'TDX'\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "bad.upd"));
  const ToolRun missing =
      RunTool("mkupd", {"-o", folder + "bad.upd", "--svf", "03", "Logic", folder + "none.svf"});
  EXPECT_EQ(missing.errors, "mkupd: cannot read " + folder + "none.svf\n");
}

}  // namespace
