// mkupd, devsim, xsvfasm and xsvfdump as separate programs: the options every
// program has, usage errors with their own exit status, and each program's own
// refusals with their exact messages.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "testsupport/tool_runs.h"
#include "testsupport/update_cases.h"
#include "tools/common/command_line.h"
#include "xsvf/file_bytes.h"

namespace {

// A fresh folder of the test's own, by its absolute path.
std::string Folder(const std::string& name) {
  return std::filesystem::absolute(FreshFolder(name)).string();
}

const char* const kPrograms[] = {"mkupd", "devsim", "xsvfasm", "xsvfdump"};

TEST(Programs, EachHelpListsItsExitStatuses) {
  for (const char* program : kPrograms) {
    for (const char* help : {"-h", "--help"}) {
      const CliRun run = RunTool(program, {help});
      EXPECT_EQ(run.exitStatus, 0) << program;
      EXPECT_NE(run.output.find(std::string("usage: ") + program), std::string::npos) << program;
      EXPECT_NE(run.output.find("Exit status:\n  0 "), std::string::npos) << program;
      EXPECT_NE(run.output.find("\n  64  the command line is wrong\n"), std::string::npos)
          << program;
    }
  }
}

// The usage lines stand apart from the description by an empty line: the
// manual page made from the help takes them as its SYNOPSIS, and used to run
// the description of devsim, xsvfasm and xsvfdump into it.
TEST(Programs, EachHelpSetsItsUsageLinesApart) {
  for (const char* program : {"mkupd", "devsim", "xsvfasm", "xsvfdump", "svf2xsvf", "update-cli"}) {
    const std::vector<std::string> lines = Lines(RunTool(program, {"--help"}).output);
    // Further forms start "       PROGRAM "; a form too long for one line goes on
    // indented deeper.
    const std::string furtherForm = "       " + std::string(program) + " ";
    const std::string goingOn(furtherForm.size(), ' ');
    size_t line = 1;
    while (line < lines.size() && (lines[line].rfind(furtherForm, 0) == 0 ||
                                   lines[line].rfind(goingOn, 0) == 0)) {
      ++line;
    }
    ASSERT_LT(line, lines.size()) << program;
    EXPECT_EQ(lines[line], "") << program;
  }
}

// A usage error has an exit status of its own, 64, apart from every outcome.
TEST(Programs, UsageErrorsHaveAnExitStatusOfTheirOwn) {
  for (const char* program : kPrograms) {
    const CliRun run = RunTool(program, {"--bogus"});
    EXPECT_EQ(run.exitStatus, kExitUsage) << program;
    EXPECT_EQ(run.errors, std::string(program) + ": unknown option '--bogus'\nTry '" + program +
                              " --help' for more information.\n");
    EXPECT_EQ(run.output, "");
  }
  EXPECT_EQ(RunTool("devsim", {"--baud=fast"}).errors,
            "devsim: bad value for --baud: fast\nTry 'devsim --help' for more information.\n");
  EXPECT_EQ(RunTool("xsvfdump", {}).exitStatus, kExitUsage);
  EXPECT_EQ(RunTool("xsvfasm", {"only-one"}).exitStatus, kExitUsage);
  EXPECT_EQ(RunTool("mkupd", {"-o", "x.upd"}).exitStatus, kExitUsage);
}

class Mkupd : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = Folder("mkupd");
    image = folder + "/image.bin";
    ASSERT_TRUE(WriteFileBytes(image, FirmwareImage(100, 1)));
    output = folder + "/out.upd";
  }

  std::string folder;
  std::string image;
  std::string output;
};

TEST_F(Mkupd, EndsTheFileWithItsChecksumUnlessToldNot) {
  CliRun run = RunTool("mkupd", {"--output=" + output, "--firmware", "01", "Main", image});
  ASSERT_EQ(run.exitStatus, 0) << run.errors;
  Bytes bytes = ReadWholeFile(output);
  EXPECT_EQ(run.output, output + ": V1.01, 1 targets, " + std::to_string(bytes.size()) +
                            " bytes, checksum\n");
  ASSERT_GT(bytes.size(), kTrailerSize);
  EXPECT_TRUE(ReadChecksumTrailer(&bytes[bytes.size() - kTrailerSize], kTrailerSize).readable);

  run = RunTool("mkupd", {"-o", output, "--no-checksum", "--firmware", "01", "Main", image});
  ASSERT_EQ(run.exitStatus, 0) << run.errors;
  bytes = ReadWholeFile(output);
  const std::string end(bytes.end() - 4, bytes.end());
  EXPECT_EQ(end, "00\r\n");
}

TEST_F(Mkupd, RefusesARepeatedIdAndAnEmptyImage) {
  const std::string empty = folder + "/empty.bin";
  ASSERT_TRUE(WriteFileBytes(empty, {}));
  CliRun run = RunTool("mkupd", {"-o", output, "--firmware", "01", "Main", image, "--firmware",
                                  "1", "Again", image});
  EXPECT_EQ(run.exitStatus, kExitUsage);
  EXPECT_EQ(run.errors,
            "mkupd: target id 1 is given twice: each target needs an id of its own\n"
            "Try 'mkupd --help' for more information.\n");
  EXPECT_FALSE(std::filesystem::exists(output));

  run = RunTool("mkupd", {"-o", output, "--firmware", "01", "Main", empty});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "mkupd: " + empty + " is empty: a firmware image needs at least one byte\n");
  EXPECT_FALSE(std::filesystem::exists(output));

  run = RunTool("mkupd", {"-o", output, "--firmware", "01", "Main", folder + "/missing.bin"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "mkupd: cannot read " + folder + "/missing.bin\n");
}

// Each of these used to end with 1 after reading the images, or with a message
// that named another cause.
TEST_F(Mkupd, CommandLineFaultsAreUsageErrors) {
  std::vector<std::string> eleven = {"-o", output};
  for (int id = 1; id <= 11; ++id) {
    eleven.insert(eleven.end(), {"--firmware", std::to_string(id), "T", image});
  }
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {eleven, "at most 10 targets go into one file, not 11"},
      {{"-o", output, "--format", "V2", "--firmware", "01", "Main", image},
       "--format must be V1.01 or V1.00, not 'V2'"},
      {{"-o", output, "--firmware", "01", "", image},
       "option '--firmware' needs ID NAME IMAGE, none of them empty"},
      {{"-o", output, "-o", output, "--firmware", "01", "Main", image},
       "option '--output' may be given only once"},
      {{"-o", "", "--firmware", "01", "Main", image},
       "option '-o' needs a value (FILE), not an empty one"},
  };
  for (const auto& [arguments, message] : cases) {
    const CliRun run = RunTool("mkupd", arguments);
    EXPECT_EQ(run.exitStatus, kExitUsage) << message;
    EXPECT_EQ(run.errors, "mkupd: " + message + "\nTry 'mkupd --help' for more information.\n");
  }
  EXPECT_FALSE(std::filesystem::exists(output));
}

class XsvfTools : public ::testing::Test {
 protected:
  void SetUp() override { folder = Folder("xsvf_tools"); }
  std::string folder;
};

// A vector longer than its size made a program that ended early and lost the
// commands after it, without a word.
TEST_F(XsvfTools, AssemblerRefusesAVectorLongerThanItsSize) {
  const std::string text = folder + "/long.txt";
  SaveText(text, "XSDRSIZE 8\nXSDR 0x0000\nXRUNTEST 5\nXCOMPLETE\n");
  const CliRun run = RunTool("xsvfasm", {text, folder + "/long.xsvf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "xsvfasm: " + text +
                            ": line 2: vector \"0x0000\" is longer than its size, XSDRSIZE 8 "
                            "(1 byte)\n");
  EXPECT_FALSE(std::filesystem::exists(folder + "/long.xsvf"));
}

// A binary file read as text: the bytes show escaped, the quote closed.
TEST_F(XsvfTools, AssemblerShowsUnprintableBytesEscaped) {
  const std::string binary = folder + "/binary.txt";
  SaveText(binary, std::string("\xf9\xb3\x00\x07 rest\n", 9));
  const CliRun run = RunTool("xsvfasm", {binary, folder + "/binary.xsvf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "xsvfasm: " + binary + ": line 1: unknown command \"\\xf9\\xb3\\x00\\x07\"\n");
}

TEST_F(XsvfTools, ListingAssemblesBackToTheSameProgram) {
  const std::string text = folder + "/program.txt";
  SaveText(text, "XSDRSIZE 12\nXSDRTDO 0xfff 0xa5f\nXCOMPLETE\n");
  ASSERT_EQ(RunTool("xsvfasm", {text, folder + "/program.xsvf"}).exitStatus, 0);
  const CliRun listed = RunTool("xsvfdump", {folder + "/program.xsvf"});
  ASSERT_EQ(listed.exitStatus, 0);
  EXPECT_EQ(listed.output, "XSDRSIZE 12\nXSDRTDO 0x0fff 0x0a5f\nXCOMPLETE\n");
  EXPECT_EQ(RunTool("xsvfdump", {folder + "/missing.xsvf"}).exitStatus, 1);
}

// A path is shown as the programs show what comes from outside: a name that holds
// a terminal's escape sequence and a line end cannot clear the screen or forge a
// line of the program's own.
TEST_F(XsvfTools, FailuresShowThePathsTheyQuoteEscaped) {
  const std::string name = folder + "/no\x1b[2J\nOK";
  const std::string shown = folder + "/no\\x1b[2J\\x0aOK";
  EXPECT_EQ(RunTool("xsvfdump", {name}).errors, "xsvfdump: cannot read " + shown + "\n");
  EXPECT_EQ(RunTool("xsvfasm", {name, folder + "/out.xsvf"}).errors,
            "xsvfasm: cannot read " + shown + "\n");
  EXPECT_EQ(RunTool("mkupd", {"-o", folder + "/out.upd", "--firmware", "01", "Main", name}).errors,
            "mkupd: cannot read " + shown + "\n");
}

// A program that cannot be written (its folder is missing) reports so; one that
// replaces an older file does it whole, leaving no temporary file behind.
TEST_F(XsvfTools, AssemblerReplacesAnOlderProgramWhole) {
  const std::string text = folder + "/program.txt";
  SaveText(text, "XCOMPLETE\n");
  SaveText(folder + "/program.xsvf", "an older program");
  ASSERT_EQ(RunTool("xsvfasm", {text, folder + "/program.xsvf"}).exitStatus, 0);
  std::ifstream written(folder + "/program.xsvf", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), std::string(1, '\0'));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
  const CliRun run = RunTool("xsvfasm", {text, folder + "/none/program.xsvf"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "xsvfasm: cannot write " + folder + "/none/program.xsvf\n");
}

// devsim --link used to delete a regular file at PATH; it replaces only a link to
// a terminal, and refuses before it starts otherwise.
TEST(Devsim, LinkReplacesNothingButItsOwnLink) {
  const std::string folder = Folder("devsim_link");
  const std::string keep = folder + "/keepme.txt";
  SaveText(keep, "keep me");
  std::filesystem::create_symlink("keepme.txt", folder + "/elsewhere");
  for (const std::string& path : {keep, folder + "/elsewhere"}) {
    const CliRun run = RunTool("devsim", {"--link", path});
    EXPECT_EQ(run.exitStatus, 1) << path;
    EXPECT_EQ(run.errors, "devsim: cannot link " + path +
                              ": it exists and is not devsim's link to a terminal; devsim "
                              "replaces nothing else\n");
  }
  std::ifstream kept(keep, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/elsewhere"));
}

// devsim used to end with 0 when its report or block files could not be written,
// and took a second target of one id as a replacement of the first.
TEST(Devsim, FailsWhenItsFilesCannotBeWrittenAndRefusesATargetIdTwice) {
  const std::string missing = Folder("devsim_files") + "/none";
  const CliRun run = RunTool(
      "devsim", {"--target", "01:firmware", "--dump-blocks", missing, "--report",
                 missing + "/report.txt"},
      [](ChildProcess& process) {
        process.NextLine(kStartLimit);
        process.Signal(SIGTERM);
      });
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.errors, "devsim: cannot write " + missing +
                            "/target-01.bin: No such file or directory.\n"
                            "devsim: cannot write " + missing +
                            "/report.txt: No such file or directory.\n");

  const CliRun twice = RunTool("devsim", {"--target", "01:firmware", "--target=01:jtag"});
  EXPECT_EQ(twice.exitStatus, kExitUsage);
  EXPECT_EQ(twice.errors,
            "devsim: target id 01 is given twice: each target needs an id of its own\n"
            "Try 'devsim --help' for more information.\n");
}

}  // namespace
