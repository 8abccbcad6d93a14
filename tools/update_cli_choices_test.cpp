// What flasher users reach for first, with update-cli, svf2xsvf and xsvfasm as
// separate programs: part of a file (--only, --skip), less or more output
// (--quiet, --no-progress, --verbose), "-" for standard input and output, and the
// default ports and wait from the environment and the settings file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xsvf/file_bytes.h"
#include "engine/messages.h"
#include "testsupport/tool_runs.h"
#include "testsupport/update_cases.h"

namespace {

std::string FileText(const std::string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadFileBytes(path, &bytes)) << path;
  return std::string(bytes.begin(), bytes.end());
}

// A file of three boards; the device of the test has only the first and the
// third, so that the second, if it were selected, would fail as missing.
std::string SaveThreeBoards(const std::string& folder) {
  const std::string file = folder + "/boards.upd";
  EXPECT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2),
                                                       FirmwareTarget(2, " Io", 2),
                                                       FirmwareTarget(3, " Power", 2)})));
  return file;
}

std::vector<std::string> TwoOfThreeBoards() {
  return {"--target", "01:firmware", "--target", "03:firmware"};
}

// A shell command line, for standard input from a file or a pipe and for
// variables of the environment.
CliRun RunShell(const std::string& script) {
  ChildProcess shell;
  CliRun run;
  if (!shell.Start("/bin/sh", {"-c", script})) {
    ADD_FAILURE() << "cannot start the shell";
    return run;
  }
  run.exitStatus = shell.Wait(kUpdateLimit);
  run.output = shell.Output();
  run.errors = shell.Errors();
  return run;
}

// A service technician replaces one board: the target left out is never
// selected, stands in the output and the log as "not selected", and the update
// passes on the targets it was asked for.
TEST(PartOfAFile, TargetsLeftOutAreNotSelectedNotFailed) {
  const std::string folder = FreshFolder("skip_one");
  const std::string file = SaveThreeBoards(folder);
  const std::string log = folder + "/updates.jsonl";
  Devsim devsim(folder, TwoOfThreeBoards());
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunTool("update-cli", {"-p", devsim.Port(), "-f", file, "--skip", "2",
                                            "--log", log});
  EXPECT_EQ(run.exitStatus, 0) << run.output << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), FormatMessageText(MsgResult, 2, 2));
  EXPECT_NE(run.output.find("Io: 0% not selected\n"), std::string::npos) << run.output;
  devsim.Report();

  const std::vector<JsonDocument> entries = JsonLines(FileText(log));
  ASSERT_EQ(entries.size(), 2u);
  const JsonDocument& targets = entries[1].at("targets");
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0].at("outcome"), "updated");
  EXPECT_EQ(targets[1].at("outcome"), "not selected");
  EXPECT_EQ(targets[2].at("outcome"), "updated");
  EXPECT_EQ(entries[1].at("exit"), 0);
}

// Ids the file does not hold, or a choice that leaves nothing, are usage errors,
// found before any port is opened.
TEST(PartOfAFile, UnknownIdsAreUsageErrors) {
  const std::string folder = FreshFolder("choice_refused");
  const std::string file = SaveThreeBoards(folder);
  CliRun run = RunTool("update-cli", {"-p", "no-such-port", "-f", file, "--only", "1,7"});
  EXPECT_EQ(run.exitStatus, 64);
  EXPECT_EQ(run.errors, "update-cli: --only 1,7: " + file + " holds no target 07\n"
                        "Try 'update-cli --help' for more information.\n");
  EXPECT_EQ(run.output, "");

  run = RunTool("update-cli", {"-p", "no-such-port", "-f", file, "--skip", "01,02,03"});
  EXPECT_EQ(run.exitStatus, 64);
  EXPECT_EQ(Lines(run.errors)[0], "update-cli: --skip 01,02,03 leaves no target of " + file +
                                      " to update");

  run = RunTool("update-cli", {"-p", "no-such-port", "-f", file, "--only", "0B", "--json"});
  EXPECT_EQ(run.exitStatus, 64);
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_EQ(objects.size(), 1u) << run.output;
  EXPECT_EQ(objects[0].at("status"), "update-cli: --only 0B: " + file + " holds no target 0B");
  EXPECT_EQ(objects[0].at("exit"), 64);
}

// --quiet prints the final status line and nothing else; --no-progress the
// targets' outcome and the status line; --verbose first what the file holds.
TEST(OutputLevels, QuietNoProgressAndVerbose) {
  const std::string folder = FreshFolder("output_levels");
  const std::string file = SaveThreeBoards(folder);
  {
    Devsim devsim(folder, TwoOfThreeBoards());
    ASSERT_TRUE(devsim.Started());
    const CliRun run =
        RunTool("update-cli", {"-q", "-p", devsim.Port(), "-f", file, "--only", "01"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, FormatMessageText(MsgResult, 1, 1) + "\n");
    devsim.Report();
  }
  {
    Devsim devsim(folder, TwoOfThreeBoards());
    ASSERT_TRUE(devsim.Started());
    const CliRun run = RunTool("update-cli", {"--no-progress", "-p", devsim.Port(), "-f", file});
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_EQ(lines.size(), 4u) << run.output;
    EXPECT_NE(lines[0].find("Main: 100% "), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Io: 0% missing target"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[3], FormatMessageText(MsgResult, 2, 3));
    devsim.Report();
  }
  {
    Devsim devsim(folder, TwoOfThreeBoards());
    ASSERT_TRUE(devsim.Started());
    const CliRun run =
        RunTool("update-cli", {"-v", "-p", devsim.Port(), "-f", file, "--skip", "02"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_GE(lines.size(), 5u) << run.output;
    EXPECT_EQ(lines[0].rfind(file + ": 3 targets, no checksum, SHA-256 ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[2].rfind("  02 ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find("Io: firmware, "), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].substr(lines[2].size() - 14), "; not selected");
    EXPECT_EQ(lines[4], "port " + devsim.Port() + ": " + devsim.Port());
    devsim.Report();
  }
}

// "-" reads the update file from standard input; /dev/stdin on a pipe is read to
// its end as well.
TEST(StandardStreams, UpdateCliReadsTheFileFromStandardInput) {
  const std::string folder = FreshFolder("check_stdin");
  const std::string file = SaveThreeBoards(folder);
  const std::string cli = ToolPath("update-cli");
  CliRun run = RunShell(cli + " --check - < " + file);
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output)[0], "-: format V1.01, 3 targets, no checksum, not signed");
  EXPECT_EQ(Lines(run.output).back(), "OK");
  run = RunShell("cat " + file + " | " + cli + " --list /dev/stdin");
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output)[0], "/dev/stdin: format V1.01, 3 targets, no checksum, not signed");

  Devsim devsim(folder, TwoOfThreeBoards());
  ASSERT_TRUE(devsim.Started());
  run = RunShell("cat " + file + " | " + cli + " -q -p " + devsim.Port() + " -f - --only 01,03");
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(run.output, FormatMessageText(MsgResult, 2, 2) + "\n");
  devsim.Report();
}

TEST(StandardStreams, ConvertersWriteTheProgramToStandardOutput) {
  const std::string folder = FreshFolder("stdout_programs");
  const std::string svf = UPD_SOURCE_DIR "/testdata/svf/cpld64_erase.svf";
  ASSERT_EQ(RunTool("svf2xsvf", {svf, folder + "/erase.xsvf"}).exitStatus, 0);
  const CliRun converted = RunTool("svf2xsvf", {svf, "-"});
  EXPECT_EQ(converted.exitStatus, 0) << converted.errors;
  EXPECT_EQ(converted.output, FileText(folder + "/erase.xsvf"));
  EXPECT_FALSE(converted.errors.empty());  // its note, on standard error

  SaveText(folder + "/program.txt", "XREPEAT 0\nXCOMMENT \"a\\nb\"\nXCOMPLETE\n");
  ASSERT_EQ(RunTool("xsvfasm", {folder + "/program.txt", folder + "/program.xsvf"}).exitStatus, 0);
  const CliRun assembled = RunTool("xsvfasm", {folder + "/program.txt", "-o", "-"});
  EXPECT_EQ(assembled.exitStatus, 0) << assembled.errors;
  EXPECT_EQ(assembled.output, FileText(folder + "/program.xsvf"));
  // Output that does not arrive is a failure, said as such.
  const CliRun full =
      RunShell(ToolPath("xsvfasm") + " " + folder + "/program.txt -o - > /dev/full");
  EXPECT_EQ(full.exitStatus, 1);
  EXPECT_EQ(full.errors, "xsvfasm: cannot write to standard output\n");
  const CliRun fullSvf = RunShell(ToolPath("svf2xsvf") + " " + svf + " - > /dev/full");
  EXPECT_EQ(fullSvf.exitStatus, 1);
  EXPECT_EQ(Lines(fullSvf.errors).back(),
            "svf2xsvf: cannot write the output: No space left on device.");
  const CliRun both = RunTool("xsvfasm", {folder + "/program.txt", "x.xsvf", "-o", "-"});
  EXPECT_EQ(both.exitStatus, 64);
  EXPECT_EQ(Lines(both.errors)[0], "xsvfasm: with --output, name the text to read alone");
}

// What a bench sets once: the environment goes over the settings file, the
// command line over both.
TEST(BenchDefaults, EnvironmentOverFileCommandLineOverBoth) {
  const std::string folder = FreshFolder("bench_defaults");
  const std::string file = SaveThreeBoards(folder);
  const std::string cli = ToolPath("update-cli");
  SaveText(folder + "/settings", "# bench\nport = " + folder + "/no-such-port\nwait = 1\n");
  const std::string settings = "UPDATE_CLI_SETTINGS=" + folder + "/settings ";

  CliRun run = RunShell(settings + cli + " -q -f " + file);
  EXPECT_EQ(run.exitStatus, 4) << run.output << run.errors;
  EXPECT_NE(run.errors.find("no-such-port"), std::string::npos) << run.errors;

  Devsim devsim(folder, TwoOfThreeBoards());
  ASSERT_TRUE(devsim.Started());
  run = RunShell(settings + "UPDATE_CLI_PORT=" + devsim.Port() + " " + cli + " -q -f " + file +
                 " --skip 02");
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(run.output, FormatMessageText(MsgResult, 2, 2) + "\n");
  devsim.Report();

  run = RunShell(settings + "UPDATE_CLI_WAIT=never " + cli + " -f " + file);
  EXPECT_EQ(run.exitStatus, 64);
  EXPECT_EQ(Lines(run.errors)[0],
            "update-cli: UPDATE_CLI_WAIT needs a number of seconds greater than 0 and at most "
            "1000000, not 'never'");
  run = RunShell(settings + "UPDATE_CLI_WAIT=never " + cli + " -f " + file + " -p " + folder +
                 "/other-port --wait 1");
  EXPECT_EQ(run.exitStatus, 4) << run.errors;
  EXPECT_NE(run.errors.find("other-port"), std::string::npos) << run.errors;
}

}  // namespace
