// svf2xsvf and mkupd --svf as separate programs: the program they write, the
// listing, the first fault with its place and an older output left as it was, and
// update-cli reading the packed file as it reads any XSVF target.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testsupport/tool_runs.h"

namespace {

const std::string kSvfCorpus = UPD_SOURCE_DIR "/testdata/svf/";

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder, as a prefix for the files in it.
std::string Folder(const std::string& name) {
  return FreshFolder(name) + "/";
}

TEST(Svf2xsvf, WritesTheProgramAndListsItAsXsvfdumpDoes) {
  const std::string folder = Folder("svf2xsvf_written");
  const std::string svf = kSvfCorpus + "cpld64_erase.svf";
  const CliRun written = RunTool("svf2xsvf", {svf, folder + "erase.xsvf"});
  ASSERT_EQ(written.exitStatus, 0) << written.errors;
  EXPECT_EQ(written.output, "");
  EXPECT_EQ(written.errors, svf + ":24:1: note: instruction scans that expect TDO: 2 (the first "
                                  "here); XSVF cannot compare an instruction scan's TDO, so they "
                                  "shift without that check\n");

  const CliRun listed = RunTool("svf2xsvf", {"--listing", svf});
  const CliRun dumped = RunTool("xsvfdump", {folder + "erase.xsvf"});
  ASSERT_EQ(listed.exitStatus, 0);
  EXPECT_EQ(listed.output, dumped.output);
  EXPECT_EQ(listed.errors, written.errors);
}

TEST(Svf2xsvf, ReportsTheFirstFaultWithItsPlaceAndKeepsTheOlderProgram) {
  const std::string folder = Folder("svf2xsvf_fault");
  std::ofstream(folder + "bad.svf") << "STATE IDLE;\nSIR 8 TDI (01);\nPIO (HL);\nFOO;\n";
  std::ofstream(folder + "bad.xsvf") << "an older program";
  const CliRun run = RunTool("svf2xsvf", {folder + "bad.svf", folder + "bad.xsvf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, folder + "bad.svf:3:1: PIO is refused: an XSVF program drives the JTAG "
                                 "port only, it has no parallel I/O\n");
  EXPECT_EQ(ReadWhole(folder + "bad.xsvf"), "an older program");

  const CliRun listed = RunTool("svf2xsvf", {"--listing", folder + "bad.svf"});
  EXPECT_EQ(listed.exitStatus, 1);
  EXPECT_EQ(listed.output, "");
  EXPECT_EQ(listed.errors, run.errors);

  const CliRun usage = RunTool("svf2xsvf", {folder + "bad.svf"});
  EXPECT_EQ(usage.exitStatus, 64);
  EXPECT_EQ(usage.errors, "svf2xsvf: name the SVF program and the XSVF program to write\n"
                          "Try 'svf2xsvf --help' for more information.\n");
}

// Used to leave a one-byte file where the SVF was.
TEST(Svf2xsvf, RefusesToWriteOverItsInputUnderAnyName) {
  const std::string folder = Folder("svf2xsvf_self");
  const std::string svf = ReadWhole(kSvfCorpus + "cpld64_erase.svf");
  std::ofstream(folder + "c2.svf", std::ios::binary) << svf;
  std::filesystem::create_symlink("c2.svf", folder + "link.xsvf");
  for (const std::string& output : {folder + "c2.svf", folder + "./c2.svf", folder + "link.xsvf"}) {
    const CliRun run = RunTool("svf2xsvf", {folder + "c2.svf", output});
    EXPECT_EQ(run.exitStatus, 1) << output;
    EXPECT_EQ(run.errors, folder + "c2.svf: is the file to write as well: name another file for "
                                   "the XSVF program\n");
    EXPECT_EQ(ReadWhole(folder + "c2.svf"), svf);
  }
}

TEST(MkupdSvf, PacksTheConvertedProgramThatUpdateCliReadsAsXsvf) {
  const std::string folder = Folder("mkupd_svf");
  const std::string svf = kSvfCorpus + "cpld36_program.svf";
  const CliRun converted = RunTool("svf2xsvf", {svf, folder + "program.xsvf"});
  ASSERT_EQ(converted.exitStatus, 0) << converted.errors;

  const CliRun fromSvf =
      RunTool("mkupd", {"-o", folder + "svf.upd", "--svf", "03", "Logic", svf, "--rle"});
  ASSERT_EQ(fromSvf.exitStatus, 0) << fromSvf.errors;
  EXPECT_EQ(fromSvf.errors, converted.errors);  // the same notes
  const CliRun fromXsvf = RunTool(
      "mkupd", {"-o", folder + "xsvf.upd", "--xsvf", "03", "Logic", folder + "program.xsvf", "--rle"});
  ASSERT_EQ(fromXsvf.exitStatus, 0) << fromXsvf.errors;
  EXPECT_EQ(ReadWhole(folder + "svf.upd"), ReadWhole(folder + "xsvf.upd"));

  const CliRun check = RunTool("update-cli", {"--check", folder + "svf.upd"});
  EXPECT_EQ(check.exitStatus, 0) << check.output << check.errors;
  const CliRun list = RunTool("update-cli", {"--list", folder + "svf.upd"});
  EXPECT_EQ(list.exitStatus, 0);
  EXPECT_NE(list.output.find("03  Logic"), std::string::npos) << list.output;
}

TEST(MkupdSvf, RefusesAnSvfProgramWithItsFirstFault) {
  const std::string folder = Folder("mkupd_svf_fault");
  std::ofstream(folder + "bad.svf") << "SDR 8 TDX (1);\n";
  const CliRun run =
      RunTool("mkupd", {"-o", folder + "bad.upd", "--svf", "03", "Logic", folder + "bad.svf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors,
            "mkupd: " + folder + "bad.svf:1:7: expected TDI, TDO, MASK, SMASK or ';', found 'TDX'\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "bad.upd"));
  std::ofstream(folder + "older.upd") << "an older file";
  EXPECT_EQ(RunTool("mkupd", {"-o", folder + "older.upd", "--svf", "03", "Logic", folder + "bad.svf"})
                .exitStatus,
            1);
  EXPECT_EQ(ReadWhole(folder + "older.upd"), "an older file");
  const CliRun missing =
      RunTool("mkupd", {"-o", folder + "bad.upd", "--svf", "03", "Logic", folder + "none.svf"});
  EXPECT_EQ(missing.errors, "mkupd: cannot read " + folder + "none.svf\n");
}

}  // namespace
