// update-cli and devsim as separate programs through a real pseudo-terminal:
// every whole update of the shared table, every real XSVF program, and the
// tools' own behaviour (update-cli's listing, check, messages, JSON lines, exit
// statuses and Ctrl-C; the files mkupd makes and those it refuses).

#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_writer.h"
#include "testsupport/child_process.h"
#include "testsupport/json_lines.h"
#include "testsupport/tool_runs.h"
#include "testsupport/update_cases.h"
#include "xsvf/file_bytes.h"

namespace {

const std::string kCorpus = UPD_SOURCE_DIR "/testdata/xsvf";

std::string Hex2(uint8_t value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

CliRun RunUpdateCli(const std::vector<std::string>& arguments,
                    const std::function<void(ChildProcess&)>& meanwhile = {}) {
  return RunTool("update-cli", arguments, meanwhile);
}

// The file's text; "" while it is not there.
std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CliRun RunMkupd(const std::vector<std::string>& arguments) {
  return RunTool("mkupd", arguments);
}

std::vector<ExpectedRow> RowsOf(const JsonDocument& progress) {
  std::vector<ExpectedRow> rows;
  for (const JsonDocument& row : progress.at("rows")) {
    rows.push_back({row.at("percent").get<int>(), row.at("status").get<std::string>(),
                    row.at("mark").get<std::string>()});
  }
  return rows;
}

// The progress object on the last whole line so far shows the row under way.
bool RowUnderWay(const std::string& output, uint32_t row) {
  const size_t end = output.rfind('\n');
  if (end == std::string::npos) return false;
  const size_t start = output.rfind('\n', end - 1);
  const size_t begin = start == std::string::npos ? 0 : start + 1;
  const JsonDocument progress =
      JsonDocument::parse(output.substr(begin, end - begin), nullptr, false);
  if (!progress.is_object() || !progress.contains("rows")) return false;
  const std::vector<ExpectedRow> rows = RowsOf(progress);
  return row < rows.size() && rows[row].percent > 0;
}

// The user's Ctrl-C at the case's moment: before the device answers, as soon as
// update-cli has shown the update starting; after, once the row under way shows
// progress.
void CancelByCtrlC(ChildProcess& cli, const CancelTrigger& cancel) {
  const bool ready = cli.WaitUntil(
      [&] {
        if (cancel.point == CancelPoint::WakeProbe)
          return cli.Output().find('\n') != std::string::npos;
        return RowUnderWay(cli.Output(), cancel.row);
      },
      kUpdateLimit);
  ASSERT_TRUE(ready) << cli.Output();
  cli.Signal(SIGINT);
}

// The final objects of update-cli's JSON lines: the last progress and the result
// (whose status is `lastLine` where update-cli says more than the record).
void ExpectJsonOutcome(const std::string& output, const std::string& statusLine,
                       const std::vector<ExpectedRow>& rows, int exitStatus, bool resultLine,
                       const std::string& lastLine = "") {
  const std::vector<JsonDocument> objects = JsonLines(output);
  ASSERT_GE(objects.size(), 2u) << output;
  const JsonDocument& progress = objects[objects.size() - 2];
  const JsonDocument& result = objects.back();
  EXPECT_EQ(progress.at("event"), "progress");
  EXPECT_EQ(progress.at("status"), statusLine);
  for (const std::string& difference : RowDifferences(rows, RowsOf(progress))) {
    ADD_FAILURE() << difference;
  }
  EXPECT_EQ(result.at("event"), "result");
  EXPECT_EQ(result.at("status"), lastLine.empty() ? statusLine : lastLine);
  EXPECT_EQ(result.at("exit"), exitStatus);
  if (resultLine) {
    EXPECT_EQ(FormatMessageText(MsgResult, result.at("successes").get<int>(),
                                result.at("total").get<int>()),
              statusLine);
  } else {
    // An update that ended early still counts its targets.
    ASSERT_TRUE(result.at("successes").is_number()) << output;
    ASSERT_TRUE(result.at("total").is_number()) << output;
    EXPECT_LE(result.at("successes"), result.at("total"));
    EXPECT_GT(result.at("total"), 0);
  }
}

// A file the read-through refuses: one JSON result object with the status line
// the update would have ended on, exit status 4, and not a byte to the device.
void ExpectCaughtBeforeDevice(const CliRun& run, const std::string& statusLine, Devsim& devsim) {
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_EQ(objects.size(), 1u) << run.output;
  EXPECT_EQ(objects[0].at("event"), "result");
  EXPECT_EQ(objects[0].at("status"), statusLine);
  EXPECT_EQ(objects[0].at("exit"), 4);
  devsim.Stop();
  EXPECT_EQ(devsim.Report()["bytes_received"], 0u);
}

class UpdateOverPty : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateOverPty, EndsAsExpected) {
  const UpdateCase& c = GetParam();
  const std::string folder = FreshFolder(c.name);
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, UpdateFileBytes(c)));
  SaveText(folder + "/device.txt", c.scenario);

  std::vector<std::string> devsimOptions = {"--scenario", folder + "/device.txt", "--no-waits",
                                            "--dump-blocks", folder};
  std::vector<ExpectedRow> rows = c.rows;
  if (c.cancel.point == CancelPoint::DataWrite) {
    // A real line's pace gives the Ctrl-C time to land in the middle of the
    // target, at a percent the test does not choose.
    devsimOptions.insert(devsimOptions.end(), {"--baud", "57600"});
    rows[c.cancel.row].percent = kUnderWay;
  }
  Devsim devsim(folder, devsimOptions);
  ASSERT_TRUE(devsim.Started());

  std::vector<std::string> arguments = {"--port", devsim.Port(), "--file", file, "--json"};
  std::function<void(ChildProcess&)> meanwhile;
  if (c.cancel.point != CancelPoint::None) {
    // Once the device has answered, one Ctrl-C is to cancel without asking first.
    if (c.cancel.point == CancelPoint::DataWrite) arguments.push_back("--yes");
    meanwhile = [&c](ChildProcess& cli) { CancelByCtrlC(cli, c.cancel); };
  }
  const CliRun run = RunUpdateCli(arguments, meanwhile);
  ASSERT_EQ(run.exitStatus, c.exitStatus) << run.errors << run.output;
  if (c.caughtBeforeDevice) {
    UpdateCase cli = c;
    cli.statusLine = c.cliStatusLine;
    ExpectCaughtBeforeDevice(run, ExpectedStatusLine(cli, file), devsim);
    return;
  }
  const bool resultLine = c.exitStatus == 0 || c.exitStatus == 1;
  ExpectJsonOutcome(run.output, ExpectedStatusLine(c, file), rows, c.exitStatus, resultLine,
                    c.cliStatusLine);

  std::map<std::string, uint64_t> report = devsim.Report();
  EXPECT_EQ(report["ends"], c.endSent ? 1u : 0u);
  for (uint8_t id : c.firmwareIds) {
    EXPECT_EQ(ReadWholeFile(folder + "/target-" + Hex2(id) + ".bin"), TargetData(c, id))
        << "target " << int{id};
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateOverPty, ::testing::ValuesIn(UpdateCases()),
                         [](const ::testing::TestParamInfo<UpdateCase>& info) {
                           return info.param.name;
                         });

// Every real program, packed by mkupd, updates a chip that answers as the program
// expects, with every comparison passing.
std::vector<std::string> CorpusPrograms() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() == ".xsvf") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class RealProgram : public ::testing::TestWithParam<std::string> {};

TEST_P(RealProgram, UpdatesWithEveryComparePassing) {
  const std::string folder = FreshFolder("corpus_" + GetParam());
  const std::string program = kCorpus + "/" + GetParam() + ".xsvf";
  const std::string file = folder + "/update.upd";
  const CliRun packed = RunMkupd({"-o", file, "--xsvf", "01", GetParam(), program});
  ASSERT_EQ(packed.exitStatus, 0) << packed.errors;

  Devsim devsim(folder, {"--target", "01:jtag:script:" + program, "--no-waits"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunUpdateCli({"--port", devsim.Port(), "--file", file, "--json"});
  ASSERT_EQ(run.exitStatus, 0) << run.errors;
  ExpectJsonOutcome(run.output, FormatMessageText(MsgResult, 1, 1), {{100, "", ""}}, 0, true);

  std::map<std::string, uint64_t> report = devsim.Report();
  EXPECT_GT(report["jtag_01_compared_shifts"], 0u);
  EXPECT_EQ(report["jtag_01_mismatches"], 0u);
  EXPECT_EQ(report["jtag_01_rejected"], 0u);
  EXPECT_EQ(report["bad_frames"], 0u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealProgram, ::testing::ValuesIn(CorpusPrograms()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// mkupd's files in each format reach the device block for block as they were cut.
TEST(Mkupd, FirmwareArrivesAsPackedInEveryFormat) {
  Bytes image(1500, 0xFF);  // runs for the run-length code, and stretches without
  const Bytes code = FirmwareImage(1200, 7);
  image.insert(image.end(), code.begin(), code.end());
  const std::string folder = FreshFolder("mkupd_formats");
  ASSERT_TRUE(WriteFileBytes(folder + "/image.bin", image));

  const std::vector<std::vector<std::string>> variants = {
      {"--format", "V1.00"}, {"--format", "V1.01"}, {"--format", "V1.01", "--rle"}};
  for (const std::vector<std::string>& variant : variants) {
    SCOPED_TRACE(variant.size() == 3 ? "run-length coded" : variant[1]);
    const std::string file = folder + "/update.upd";
    std::vector<std::string> arguments = {"-o",         file, variant[0], variant[1],
                                          "--firmware", "01", "Main",     folder + "/image.bin"};
    if (variant.size() == 3) arguments.push_back(variant[2]);
    const CliRun packed = RunMkupd(arguments);
    ASSERT_EQ(packed.exitStatus, 0) << packed.errors;
    EXPECT_NE(packed.output.find(variant[1]), std::string::npos) << packed.output;

    Devsim devsim(folder, {"--target", "01:firmware", "--dump-blocks", folder});
    ASSERT_TRUE(devsim.Started());
    const CliRun run = RunUpdateCli({"--port", devsim.Port(), "--file", file, "--json"});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    devsim.Report();
    EXPECT_EQ(ReadWholeFile(folder + "/target-01.bin"), FirmwareBlocks(image));
  }
}

TEST(Mkupd, RefusesFilesTheUpdaterCouldNotRead) {
  const std::string folder = FreshFolder("mkupd_refusals");
  const std::string image = folder + "/image.bin";
  const std::string program = folder + "/program.xsvf";
  const std::string garbage = folder + "/garbage.xsvf";
  ASSERT_TRUE(WriteFileBytes(image, FirmwareImage(100, 1)));
  ASSERT_TRUE(WriteFileBytes(program, AssembleXsvf("XSTATE RESET\nXCOMPLETE\n")));
  ASSERT_TRUE(WriteFileBytes(garbage, {0x02, 0x08}));  // an XSIR cut off in its vector

  std::vector<std::string> eleven;
  for (int id = 1; id <= 11; ++id) {
    eleven.insert(eleven.end(), {"--firmware", Hex2(static_cast<uint8_t>(id)), "Unit", image});
  }
  const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
      {eleven, "at most 10 targets go into one file, not 11"},
      {{"--format", "V1.00", "--xsvf", "01", "Logic", program}, "V1.00 cannot hold"},
      {{"--xsvf", "01", "Logic", garbage}, garbage},
  };
  for (const auto& [targets, reason] : refusals) {
    SCOPED_TRACE(reason);
    const std::string file = folder + "/refused.upd";
    std::vector<std::string> arguments = {"-o", file};
    arguments.insert(arguments.end(), targets.begin(), targets.end());
    const CliRun run = RunMkupd(arguments);
    EXPECT_NE(run.exitStatus.value_or(0), 0);
    EXPECT_NE(run.errors.find(reason), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

// A file that mkupd would make for the sample's three kinds of target.
std::string SaveSampleLikeFile(const std::string& folder) {
  const std::string file = folder + "/sample.upd";
  EXPECT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01",
                      {FirmwareTarget(1, " Main board", 4), RunLengthFirmwareTarget(2, " Display"),
                       XsvfTarget(3, " Logic", DemoChipProgram())})));
  return file;
}

TEST(UpdateCli, ListsTheFormatAndTheTargets) {
  const std::string file = SaveSampleLikeFile(FreshFolder("list"));
  const CliRun run = RunUpdateCli({"--list", file});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output),
            (std::vector<std::string>{file + ": format V1.01, 3 targets, no checksum, not signed",
                                      "01  Main board", "02  Display", "03  Logic"}));
}

TEST(UpdateCli, ChecksEveryRecordOfAGoodFile) {
  const std::string file = SaveSampleLikeFile(FreshFolder("check_good"));
  const CliRun run = RunUpdateCli({"--check", file});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_EQ(lines.size(), 5u) << run.output;
  EXPECT_NE(lines[1].find("firmware, 4 blocks, 160 payload bytes"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("run-length coded"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("XSVF, "), std::string::npos) << lines[3];
  EXPECT_EQ(lines[4], "OK");
}

// The check reads on past the header: each file's fault lies in its records.
TEST(UpdateCli, CheckNamesTheFirstFaultAndWhereItIs) {
  const std::string folder = FreshFolder("check_bad");
  const UpdateTarget good = FirmwareTarget(1, " Main", 2);
  UpdateTarget oversized = FirmwareTarget(2, " Io", 1, 998);
  oversized.data[1] = 0xE7;  // the length field now says 999, and 999 bytes follow
  oversized.data.push_back(0);
  UpdateTarget cut = FirmwareTarget(2, " Io", 1, 8);
  cut.data.pop_back();
  const UpdateTarget program = XsvfTarget(2, " Logic", {0x02, 0x08});

  Bytes noTerminator = BuildFile("V1.01", {good});
  noTerminator.resize(noTerminator.size() - 4);
  Bytes zeroRun = BuildFile("V1.01", {good});
  const std::string plain = "0000 FEFF";
  std::search(zeroRun.begin(), zeroRun.end(), plain.begin(), plain.end())[3] = '1';

  const std::vector<std::pair<Bytes, std::string>> files = {
      {noTerminator, "the closing 00) cannot be read (target 2, "},
      {zeroRun, "badly coded (target 1, "},
      {BuildFile("V1.01", {good, oversized}),
       "block 1 has 999 payload bytes, more than 998 (target 2, "},
      {BuildFile("V1.01", {good, cut}), "block 1 is cut off by the record's end (target 2, "},
      {BuildFile("V1.01", {good, program}), "XSVF program: "},
  };
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].second);
    const std::string file = folder + "/bad" + std::to_string(i) + ".upd";
    ASSERT_TRUE(WriteFileBytes(file, files[i].first));
    const CliRun run = RunUpdateCli({"--check", file});
    EXPECT_EQ(run.exitStatus, 4);
    EXPECT_NE(run.errors.find(file + ": "), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(files[i].second), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("file offset "), std::string::npos) << run.errors;
  }
}

// Each unusable file stops update-cli before it opens the port, with the message
// the window shows.
TEST(UpdateCli, RefusesAnUnusableFileWithItsMessage) {
  const std::string folder = FreshFolder("bad_files");
  const std::string notUpdate = folder + "/notes.upd";
  const std::string newer = folder + "/newer.upd";
  const std::string missing = folder + "/missing.upd";
  const std::string tooLong = folder + "/" + std::string(300, 'x') + ".upd";
  SaveText(notUpdate, "Release notes\r\n");
  SaveText(newer, "Firmwareupdate-Fileformat-V2.00\r\n01\r\n01 Main\r\n");
  const std::vector<std::pair<std::string, std::string>> files = {
      {notUpdate, FormatMessageText(MsgWrongFileformat, notUpdate.c_str())},
      {missing, FormatMessageText(MsgFileNotFound, missing.c_str())},
      // Not "not found": the system's reason (as for a file without read permission).
      {tooLong, "Error: File '" + tooLong + "' cannot be opened: File name too long.\n"},
      {newer, FormatMessageText(MsgWrongVersion, "V2.00", newer.c_str(), "V1.00 V1.01 ") + "\n"},
  };
  for (const auto& [file, message] : files) {
    const CliRun run = RunUpdateCli({"--port", folder + "/no-such-port", "--file", file});
    EXPECT_EQ(run.exitStatus, 4) << file;
    EXPECT_EQ(run.errors, message);
    EXPECT_EQ(run.output, "");
  }
}

TEST(UpdateCli, NamesAPortThatCannotBeOpened) {
  const std::string folder = FreshFolder("bad_port");
  const std::string file = folder + "/checked.upd";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}, Trailer::Checksum)));
  const std::string port = folder + "/no-such-port";
  const CliRun run = RunUpdateCli({"--port", port, "--file", file});
  EXPECT_EQ(run.exitStatus, 4);
  EXPECT_EQ(run.errors.rfind(FormatMessageText(MsgPortInUse, port.c_str()), 0), 0u) << run.errors;
  EXPECT_EQ(run.output, "");
}

// Without --json, on a pipe: one line per change, the final status line last.
TEST(UpdateCli, EndsItsOutputWithTheStatusLine) {
  const std::string folder = FreshFolder("plain_output");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 3),
                                                      OtherKindTarget(2, " Other", 0x1234)})));
  Devsim devsim(folder, {"--target", "01:firmware"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunUpdateCli({"--port", devsim.Port(), "--file", file});
  EXPECT_EQ(run.exitStatus, 1) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), FormatMessageText(MsgResult, 1, 2));
  devsim.Report();
}

// Once the device has answered, the first Ctrl-C only warns; a second one soon
// after cancels, as the warning dialog's Yes does.
TEST(UpdateCli, SecondCtrlCConfirmsTheCancel) {
  const std::string folder = FreshFolder("two_step_cancel");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 20, 998),
                                                      FirmwareTarget(2, " Io", 3)})));
  Devsim devsim(folder, {"--target", "01:firmware", "--target", "02:firmware", "--baud", "57600"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run =
      RunUpdateCli({"--port", devsim.Port(), "--file", file, "--json"}, [](ChildProcess& cli) {
        ASSERT_TRUE(cli.WaitUntil([&] { return RowUnderWay(cli.Output(), 0); }, kUpdateLimit));
        cli.Signal(SIGINT);
        const auto warned = [&] {
          return cli.Errors().find(MessageText(MsgCancelWarning)) != std::string::npos;
        };
        ASSERT_TRUE(cli.WaitUntil(warned, kUpdateLimit)) << cli.Errors();
        cli.Signal(SIGINT);
      });
  ASSERT_EQ(run.exitStatus, 3) << run.errors;
  ExpectJsonOutcome(
      run.output, MessageText(MsgCancelledByUser),
      {{kUnderWay, MessageText(MsgCancelled), ""}, {0, MessageText(MsgCancelled), ""}}, 3, false);
  EXPECT_EQ(devsim.Report()["ends"], 0u);
}

// SIGTERM, as `timeout` and service managers send it, cancels as a confirmed
// Ctrl-C does: exit status 3, and the log records the cancelled update.
TEST(UpdateCli, SigtermCancelsAndIsLogged) {
  const std::string folder = FreshFolder("sigterm");
  const std::string file = folder + "/update.upd";
  const std::string log = folder + "/updates.log";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 20, 998),
                                                      FirmwareTarget(2, " Io", 3)})));
  Devsim devsim(folder, {"--target", "01:firmware", "--target", "02:firmware", "--baud", "57600"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunUpdateCli({"--port", devsim.Port(), "--file", file, "--json", "--log", log},
                                  [](ChildProcess& cli) {
                                    ASSERT_TRUE(cli.WaitUntil(
                                        [&] { return RowUnderWay(cli.Output(), 0); }, kUpdateLimit));
                                    cli.Signal(SIGTERM);
                                  });
  ASSERT_EQ(run.exitStatus, 3) << run.errors;
  ExpectJsonOutcome(
      run.output, MessageText(MsgCancelledByUser),
      {{kUnderWay, MessageText(MsgCancelled), ""}, {0, MessageText(MsgCancelled), ""}}, 3, false);
  const std::vector<JsonDocument> entries = JsonLines(ReadTextFile(log));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].at("entry"), "start");
  EXPECT_EQ(entries[1].at("entry"), "end");
  EXPECT_EQ(entries[1].at("exit"), 3);
  EXPECT_EQ(entries[1].at("targets").at(0).at("outcome"), "cancelled");
  devsim.Report();
}

// Ctrl-C always ends the program, even while a worker is stuck: here its trace
// goes to a pipe that nobody reads, so that once the pipe is full the worker
// waits in a write for ever. The cancel cannot reach it; the third Ctrl-C ends
// update-cli at once, and the log closes the update's start with what happened.
TEST(UpdateCli, TheThirdCtrlCEndsWithoutWaitingForAStuckWorker) {
  const std::string folder = FreshFolder("third_ctrl_c");
  const std::string file = folder + "/update.upd";
  const std::string log = folder + "/updates.log";
  const std::string trace = folder + "/trace.fifo";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 200, 998)})));
  ASSERT_EQ(mkfifo(trace.c_str(), 0600), 0);
  const int unread = open(trace.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(unread, 0);
  Devsim devsim(folder, {"--target", "01:firmware"});
  ASSERT_TRUE(devsim.Started());
  const auto pipeFull = [unread] {
    int queued = 0;
    return ioctl(unread, FIONREAD, &queued) == 0 && queued >= 60000;
  };
  const CliRun run = RunUpdateCli(
      {"--port", devsim.Port(), "--file", file, "--json", "--yes", "--log", log, "--trace", trace},
      [&](ChildProcess& cli) {
        ASSERT_TRUE(cli.WaitUntil(pipeFull, kUpdateLimit));
        cli.Signal(SIGINT);
        const auto cancelling = [&] {
          return cli.Output().find(MessageText(MsgCancelledByUser)) != std::string::npos;
        };
        ASSERT_TRUE(cli.WaitUntil(cancelling, kUpdateLimit)) << cli.Output();
        cli.Signal(SIGINT);
        const auto asked = [&] {
          return cli.Errors().find(MessageText(MsgPressAgainToEnd)) != std::string::npos;
        };
        ASSERT_TRUE(cli.WaitUntil(asked, kUpdateLimit)) << cli.Errors();
        cli.Signal(SIGINT);
      });
  close(unread);
  EXPECT_EQ(run.exitStatus, 3) << run.errors;
  EXPECT_NE(run.errors.find(std::string("\n") + MessageText(MsgEndedWithoutWaiting) + "\n"),
            std::string::npos)
      << run.errors;
  const std::vector<JsonDocument> entries = JsonLines(ReadTextFile(log));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].at("entry"), "end");
  EXPECT_EQ(entries[1].at("status"), MessageText(MsgEndedWithoutWaiting));
  EXPECT_EQ(entries[1].at("exit"), 3);
  devsim.Stop();
}

// A JTAG target that fails ends the update; the result still counts every
// target: the firmware before it updated, itself and the one after it not.
TEST(UpdateCli, AFailedJtagTargetIsCountedInTheResult) {
  const std::string folder = FreshFolder("jtag_failure_counts");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2),
                                XsvfTarget(3, " Logic", AssembleXsvf("XSTATE RESET\nXSIR 8 0x01\n"
                                                                     "XSDRSIZE 8\nXSDRTDO 0x00 0xa5\n"
                                                                     "XCOMPLETE\n")),
                                FirmwareTarget(2, " Io", 2)})));
  Devsim devsim(folder, {"--target", "01:firmware", "--target", "03:jtag", "--target", "02:firmware",
                         "--no-waits"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunUpdateCli({"--port", devsim.Port(), "--file", file, "--json",
                                   "--debug-log", folder + "/player.txt"});
  EXPECT_EQ(run.exitStatus, 2) << run.errors;
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_FALSE(objects.empty());
  EXPECT_EQ(objects.back().at("status"), MessageText(MsgTdoMismatch));
  EXPECT_EQ(objects.back().at("successes"), 1);
  EXPECT_EQ(objects.back().at("total"), 3);
  devsim.Report();
}

// A reader that goes away (`update-cli ... | head -c 1`) never stops the update:
// it runs to its end and is logged; the exit status says the output was lost.
TEST(UpdateCli, AClosedOutputPipeDoesNotStopTheUpdate) {
  const std::string folder = FreshFolder("closed_pipe");
  const std::string file = folder + "/update.upd";
  const std::string log = folder + "/updates.log";
  const std::string status = folder + "/status.txt";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 8, 998)},
                                             Trailer::Checksum)));
  Devsim devsim(folder, {"--target", "01:firmware", "--baud", "57600"});
  ASSERT_TRUE(devsim.Started());
  ChildProcess shell;
  ASSERT_TRUE(shell.Start("/bin/sh", {"-c",
                                      "status=$1; shift; { \"$@\"; echo $? > \"$status\"; } "
                                      "| head -c 1 > /dev/null",
                                      "sh", status, ToolPath("update-cli"), "-p", devsim.Port(),
                                      "-f", file, "--log", log}));
  ASSERT_EQ(shell.Wait(kUpdateLimit), 0) << shell.Errors();
  EXPECT_EQ(ReadTextFile(status), "2\n");
  EXPECT_EQ(shell.Errors(), "update-cli: cannot write the output: Broken pipe.\n");
  const std::vector<JsonDocument> entries = JsonLines(ReadTextFile(log));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].at("exit"), 0);
  EXPECT_EQ(entries[1].at("status"), FormatMessageText(MsgResult, 1, 1));
  EXPECT_EQ(devsim.Report()["ends"], 1u);
}

// Output that cannot be written is a failure for every program, whatever it
// was asked to do.
TEST(UpdateCli, OutputThatCannotBeWrittenIsAFailure) {
  const std::string folder = FreshFolder("output_full");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  const std::string program = folder + "/demo.xsvf";
  ASSERT_TRUE(WriteFileBytes(program, DemoChipProgram()));
  const struct {
    std::string tool;
    std::vector<std::string> arguments;
    int exitStatus;
  } cases[] = {
      {"update-cli", {"--check", file}, 2},
      {"update-cli", {"--list", file, "--json"}, 2},
      {"update-cli", {"--version"}, 2},
      {"xsvfdump", {program}, 1},
      {"mkupd", {"--help"}, 1},
  };
  for (const auto& c : cases) {
    ChildProcess shell;
    std::vector<std::string> arguments = {"-c", "\"$@\" > /dev/full", "sh", ToolPath(c.tool)};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    ASSERT_TRUE(shell.Start("/bin/sh", arguments));
    EXPECT_EQ(shell.Wait(kUpdateLimit), c.exitStatus) << c.tool << " " << c.arguments[0];
    EXPECT_EQ(shell.Errors(), c.tool + ": cannot write the output: No space left on device.\n");
  }
}

}  // namespace

namespace {

// A command line that makes no sense is a usage error, exit status 64, never a
// success; with --json the script still gets its result object.
TEST(UpdateCliCommandLine, RefusesWhatMakesNoSense) {
  std::vector<std::string> seventeen;
  for (int i = 0; i < 17; ++i) seventeen.insert(seventeen.end(), {"-p", "port" + std::to_string(i)});
  seventeen.insert(seventeen.end(), {"-f", "x.upd"});
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{}, "nothing to do: give --port PORT and --file FILE for an update, or --list FILE, "
           "--check FILE or --ports"},
      {{"--port", "/dev/ttyS0"}, "an update needs --file FILE as well as --port"},
      {{"-f", "x.upd"}, "an update needs --port PORT (or a default port) as well as --file"},
      {{"--yes"}, "nothing to do: give --port PORT and --file FILE for an update, or --list "
                  "FILE, --check FILE or --ports"},
      {{"--colour"}, "unknown option '--colour'"},
      {{"-p", "a", "-f", "x.upd", "--wait", "0"},
       "--wait needs a number of seconds greater than 0 and at most 1000000, not '0'"},
      {{"-p", "a", "-f", "x.upd", "--wait", "2147483"},
       "--wait needs a number of seconds greater than 0 and at most 1000000, not '2147483'"},
      // A value given twice used to overrule the first without a word.
      {{"--check", "flip.upd", "--check", "sample.upd"}, "option '--check' may be given only once"},
      {{"-p", "a", "-f", "x.upd", "-w", "5", "--wait=6"}, "option '--wait' may be given only once"},
      // An empty value used to reach the port or the file as a name.
      {{"-p", "", "-f", "x.upd"}, "option '-p' needs a value (PORT), not an empty one"},
      {{"--list="}, "option '--list' needs a value (FILE), not an empty one"},
      // Short flags grouped as getopt reads them.
      {{"--list", "x.upd", "-yw5"}, "--yes goes with an update only"},
      {{"-p", "a", "-f", "x.upd", "-yz"}, "unknown option '-z' in '-yz'"},
      {seventeen, "at most 16 ports at once"},
      {{"-p", "a", "-p", "a", "-f", "x.upd"}, "port a is given twice"},
      {{"--list", "x.upd", "--repeat"}, "--repeat goes with an update only"},
      {{"--check", "x.upd", "--one-step-frames"}, "--one-step-frames goes with an update only"},
      {{"--ports", "--check", "x.upd"}, "choose one of an update, --list, --check and --ports"},
      {{"-p", "a", "-f", "x.upd", "extra"}, "unexpected argument 'extra'"},
  };
  for (const auto& [arguments, message] : refused) {
    SCOPED_TRACE(message);
    const CliRun run = RunUpdateCli(arguments);
    EXPECT_EQ(run.exitStatus, 64);
    EXPECT_EQ(run.errors, "update-cli: " + message +
                              "\nTry 'update-cli --help' for more information.\n");
    EXPECT_EQ(run.output, "");
  }
  const CliRun json = RunUpdateCli({"--json"});
  EXPECT_EQ(json.exitStatus, 64);
  const std::vector<JsonDocument> objects = JsonLines(json.output);
  ASSERT_EQ(objects.size(), 1u) << json.output;
  EXPECT_EQ(objects[0].at("event"), "result");
  EXPECT_EQ(objects[0].at("exit"), 64);
}

TEST(UpdateCliCommandLine, HelpAndVersion) {
  const CliRun help = RunUpdateCli({"-h"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_EQ(help.output.rfind("usage: update-cli ", 0), 0u);
  EXPECT_NE(help.output.find("64 the command line makes no"), std::string::npos);
  const CliRun version = RunUpdateCli({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.output.rfind("update-cli 1.", 0), 0u) << version.output;
}

// Every error that ends an update before it begins ends the JSON lines with its
// result object: its message and exit status.
TEST(UpdateCliCommandLine, JsonEndsWithAResultOnEveryError) {
  const std::string folder = FreshFolder("json_errors");
  const std::string missing = folder + "/missing.upd";
  const std::string file = SaveSampleLikeFile(folder);
  const std::string port = folder + "/no-such-port";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-p", port, "-f", missing, "--json"}, FormatMessageText(MsgFileNotFound, missing.c_str())},
      {{"-p", port, "-f", file, "--json"}, FormatMessageText(MsgPortInUse, port.c_str())},
  };
  for (const auto& [arguments, message] : cases) {
    const CliRun run = RunUpdateCli(arguments);
    EXPECT_EQ(run.exitStatus, 4);
    const std::vector<JsonDocument> objects = JsonLines(run.output);
    ASSERT_EQ(objects.size(), 1u) << run.output;
    EXPECT_EQ(objects[0].at("event"), "result");
    EXPECT_EQ(objects[0].at("port"), port);  // the one port, whatever failed
    const std::string status = objects[0].at("status");
    EXPECT_EQ(status.rfind(message.substr(0, message.size() - 1), 0), 0u) << status;
    EXPECT_EQ(objects[0].at("exit"), 4);
    EXPECT_TRUE(objects[0].at("successes").is_null());
  }
}

}  // namespace

namespace {

// A file cut short, a file with one flipped bit, one whose trailer this version
// does not know, one without targets and one whose program the player would
// refuse end before the device sees a byte, with what is wrong and where on the
// line before the status line; the good file they were made from updates it.
TEST(ReadThrough, TurnsAwayBadFilesBeforeTheDeviceSeesAByte) {
  const std::string folder = FreshFolder("read_through");
  const std::string image = folder + "/image.bin";
  const std::string program = folder + "/logic.xsvf";
  ASSERT_TRUE(WriteFileBytes(image, FirmwareImage(30000, 5)));
  ASSERT_TRUE(WriteFileBytes(program, DemoChipProgram()));
  const std::string good = folder + "/good.upd";
  const CliRun packed = RunMkupd({"-o", good, "--firmware", "01", "Main", image, "--xsvf", "03",
                                  "Logic", program});
  ASSERT_EQ(packed.exitStatus, 0) << packed.errors;
  const Bytes bytes = ReadWholeFile(good);

  const std::string cut = folder + "/cut.upd";
  ASSERT_TRUE(WriteFileBytes(cut, Bytes(bytes.begin(), bytes.begin() + 20000)));
  Bytes flipped = bytes;
  flipped[flipped.size() / 2] ^= 0x01;
  const std::string damaged = folder + "/damaged.upd";
  ASSERT_TRUE(WriteFileBytes(damaged, flipped));

  // One data byte changed, and the trailer's format with it.
  Bytes later = bytes;
  later[later.size() / 2] ^= 0x01;
  later[later.size() - kTrailerSize + sizeof kTrailerMarker] = '2';
  const std::string unknownTrailer = folder + "/later.upd";
  ASSERT_TRUE(WriteFileBytes(unknownTrailer, later));
  const std::string empty = folder + "/empty.upd";
  ASSERT_TRUE(WriteFileBytes(empty, BuildFile("V1.01", {})));
  const std::string badState = folder + "/xstate32.upd";
  ASSERT_TRUE(WriteFileBytes(badState, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2),
                                                           XsvfTarget(3, " Logic", {0x12, 0x20, 0x00})})));

  const struct {
    std::string file;
    std::string reason;  // how the line before the status line starts
    std::string lastLine;
  } refused[] = {
      {cut, "the record's data are cut off or badly coded (target 1, ",
       FormatMessageText(MsgBadRecord, cut.c_str())},
      {damaged, "the file is damaged: its bytes hash to ",
       FormatMessageText(MsgFileDamaged, damaged.c_str())},
      {unknownTrailer, "its checksum trailer is of format 02, which this updater does not know",
       FormatMessageText(MsgNotVerifiable, unknownTrailer.c_str())},
      {empty, "the file holds no target record: it updates nothing (target 1, file offset ",
       FormatMessageText(MsgBadRecord, empty.c_str())},
      {badState,
       "XSVF program: command #1 (XSTATE) at program offset 0: Illegal state specification "
       "(target 2, file offset ",
       FormatMessageText(MsgBadRecord, badState.c_str())},
  };
  for (const auto& [file, reason, lastLine] : refused) {
    SCOPED_TRACE(file);
    Devsim devsim(folder, {"--target", "01:firmware", "--target", "03:jtag"});
    ASSERT_TRUE(devsim.Started());
    const CliRun run = RunUpdateCli({"-p", devsim.Port(), "-f", file});
    EXPECT_EQ(run.exitStatus, 4);
    const std::vector<std::string> lines = Lines(run.errors);
    ASSERT_GE(lines.size(), 2u) << run.errors;
    EXPECT_EQ(lines[lines.size() - 2].rfind(reason, 0), 0u) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), lastLine);
    devsim.Stop();
    EXPECT_EQ(devsim.Report()["bytes_received"], 0u);
  }

  Devsim devsim(folder, {"--target", "01:firmware", "--target", "03:jtag"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunUpdateCli({"-p", devsim.Port(), "-f", good});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output).back(), FormatMessageText(MsgResult, 2, 2));
  devsim.Report();
}

}  // namespace
