// update-cli as a user sees it: on a terminal of a given width, with the keys
// the user types, the screen read back as the terminal shows it; and on a pipe.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "testsupport/screen.h"
#include "testsupport/tool_runs.h"
#include "testsupport/update_cases.h"
#include "xsvf/file_bytes.h"

namespace {

const std::string kForgedName = " \x1b[2J\x1b[HAll 3 targets verified OK";

// Two targets with names long enough to need the room, the first large enough
// that the paced line makes the block redraw many times.
std::string SaveFile(const std::string& folder) {
  const std::string file = folder + "/update.upd";
  EXPECT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main board controller", 12, 400),
                                                       FirmwareTarget(2, " Display panel", 3)})));
  return file;
}

struct TerminalRun {
  std::optional<int> exitStatus;
  std::string output;  // what the program wrote to its terminal
};

// update-cli on a terminal `columns` wide against a device on a paced line;
// `meanwhile` acts on it while it runs.
TerminalRun RunOnTerminal(const std::string& folder, int columns,
                          const std::vector<std::string>& environment,
                          const std::function<void(ChildProcess&)>& meanwhile = {}) {
  Devsim devsim(folder, {"--target", "01:firmware", "--target", "02:firmware", "--baud", "57600"});
  EXPECT_TRUE(devsim.Started());
  ChildProcess cli;
  TerminalRun run;
  if (!cli.StartOnTerminal(ToolPath("update-cli"), {"-p", devsim.Port(), "-f", SaveFile(folder)},
                           columns, environment)) {
    ADD_FAILURE() << "cannot start update-cli";
    return run;
  }
  if (meanwhile) meanwhile(cli);
  run.exitStatus = cli.Wait(kUpdateLimit);
  run.output = cli.Output();
  devsim.Report();
  return run;
}

std::vector<std::string> ScreenOf(const std::string& output, size_t columns) {
  Screen screen(columns);
  screen.Write(output);
  return screen.Lines();
}

size_t CountOf(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&text](const std::string& line) {
    return line.find(text) != std::string::npos;
  }));
}

// In 50 columns the rows fit the line: the block is redrawn in place, and the
// screen ends with each row once and the final status line once, last.
TEST(OnATerminal, ANarrowOneKeepsOneCopyOfEachRow) {
  const std::string folder = FreshFolder("narrow_terminal");
  const TerminalRun run = RunOnTerminal(folder, 50, {"TERM=xterm"});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const std::vector<std::string> screen = ScreenOf(run.output, 50);
  for (const std::string& line : screen) EXPECT_LT(line.size(), 50u) << line;
  EXPECT_EQ(CountOf(screen, " Main board"), 1u) << run.output;
  EXPECT_EQ(CountOf(screen, " Display panel"), 1u);
  const std::string result = FormatMessageText(MsgResult, 2, 2);
  ASSERT_FALSE(screen.empty());
  EXPECT_EQ(screen.back(), result);
  EXPECT_EQ(CountOf(screen, result), 1u);
  // How far each target got, in bytes, while it ran.
  EXPECT_NE(run.output.find(" of 4.7 KiB"), std::string::npos);
}

TEST(OnATerminal, ADumbOneGetsPlainLines) {
  const std::string folder = FreshFolder("dumb_terminal");
  const TerminalRun run = RunOnTerminal(folder, 80, {"TERM=dumb"});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_NE(run.output.find("target 1 Main board controller: 100% "), std::string::npos);
}

// The user presses Ctrl-C once the device has answered: the warning stands on a
// line of its own, whatever the terminal echoed; a second Ctrl-C cancels, and the
// cancel is the last line, once.
TEST(OnATerminal, CtrlCWarnsOnALineOfItsOwnAndASecondOneCancels) {
  const std::string folder = FreshFolder("terminal_ctrl_c");
  const std::string warning = MessageText(MsgCancelWarning);
  const std::string firstLine = warning.substr(0, warning.find('\n'));
  const TerminalRun run = RunOnTerminal(folder, 80, {"TERM=xterm"}, [&](ChildProcess& cli) {
    const auto running = [&] { return cli.Output().find(MessageText(MsgRunning)) != std::string::npos; };
    ASSERT_TRUE(cli.WaitUntil(running, kUpdateLimit));
    cli.Type("\x03");
    const auto warned = [&] { return cli.Output().find(firstLine) != std::string::npos; };
    ASSERT_TRUE(cli.WaitUntil(warned, kUpdateLimit));
    cli.Type("\x03");
  });
  EXPECT_EQ(run.exitStatus, 3);
  const std::vector<std::string> screen = ScreenOf(run.output, 80);
  EXPECT_EQ(CountOf(screen, firstLine), 1u);
  EXPECT_NE(std::find(screen.begin(), screen.end(), firstLine), screen.end()) << run.output;
  ASSERT_FALSE(screen.empty());
  EXPECT_EQ(screen.back(), MessageText(MsgCancelledByUser));
  EXPECT_EQ(CountOf(screen, MessageText(MsgCancelledByUser)), 1u);
}

// A file whose first target name would clear the screen, go home and print a
// verdict of its own, whose second name is Latin-1, and whose XSVF program has a
// comment that would return to the line's start and print a line of its own.
std::string SaveForgedFile(const std::string& folder) {
  const std::string file = folder + "/forged.upd";
  const Bytes program =
      AssembleXsvf("XCOMMENT \"\\x1b[2J\\rAll 3 targets verified OK\\n\"\nXCOMPLETE\n");
  EXPECT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, kForgedName, 1, 57),
                                                       FirmwareTarget(2, " Z\xe4hler", 2),
                                                       XsvfTarget(3, " Logic", program)})));
  return file;
}

const std::vector<std::string> kForgedFileTargets = {"--target", "01:firmware", "--target",
                                                     "02:firmware", "--target", "03:jtag:demo"};

TEST(OnATerminal, WhatTheFileSaysIsShownNotObeyed) {
  const std::string folder = FreshFolder("forged_terminal");
  Devsim devsim(folder, kForgedFileTargets);
  ASSERT_TRUE(devsim.Started());
  ChildProcess cli;
  ASSERT_TRUE(cli.StartOnTerminal(ToolPath("update-cli"),
                                  {"-p", devsim.Port(), "-f", SaveForgedFile(folder)}, 100,
                                  {"TERM=xterm"}));
  EXPECT_EQ(cli.Wait(kUpdateLimit), 0) << cli.Output();
  devsim.Report();
  for (const char* sequence : {"\x1b[2J", "\x1b[H", "\rAll"}) {
    EXPECT_EQ(cli.Output().find(sequence), std::string::npos) << sequence;
  }
  const std::vector<std::string> screen = ScreenOf(cli.Output(), 100);
  ASSERT_FALSE(screen.empty());
  EXPECT_EQ(screen.back(), FormatMessageText(MsgResult, 3, 3));
  EXPECT_EQ(CountOf(screen, " \\x1b[2J\\x1b[HAll"), 1u) << cli.Output();
  EXPECT_EQ(CountOf(screen, "Z\\xe4hler"), 1u);
  EXPECT_EQ(CountOf(screen, "\\x1b[2J\\x0dAll 3 targets verified OK\\x0a"), 1u);
  for (const std::string& line : screen) EXPECT_NE(line.rfind("All 3", 0), 0u) << line;
}

// In JSON the texts arrive as the file has them, and the JSON and the log stay
// valid UTF-8 (the reader refuses a document that is not).
TEST(OnAPipe, JsonAndTheLogCarryWhatTheFileSaysAsValidUtf8) {
  const std::string folder = FreshFolder("forged_json");
  const std::string log = folder + "/updates.log";
  Devsim devsim(folder, kForgedFileTargets);
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunTool(
      "update-cli", {"-p", devsim.Port(), "-f", SaveForgedFile(folder), "--json", "--log", log});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  devsim.Report();
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_GE(objects.size(), 2u);
  const JsonDocument& progress = objects[objects.size() - 2];
  ASSERT_EQ(progress.at("rows").size(), 3u) << run.output;
  EXPECT_EQ(progress.at("rows").at(0).at("name"), kForgedName.substr(1));
  EXPECT_EQ(progress.at("rows").at(1).at("name"), "Z\xc3\xa4hler");
  const auto comment = std::find_if(objects.begin(), objects.end(), [](const JsonDocument& object) {
    return object.at("event") == "message";
  });
  ASSERT_NE(comment, objects.end()) << run.output;
  EXPECT_EQ((*comment).at("text"), "\x1b[2J\rAll 3 targets verified OK\n");

  std::ifstream in(log, std::ios::binary);
  const std::string logText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<JsonDocument> entries = JsonLines(logText);
  // The start entry, then the end entry with the targets.
  ASSERT_EQ(entries.size(), 2u) << logText;
  EXPECT_EQ(entries[0].at("entry"), "start");
  ASSERT_EQ(entries[1].at("targets").size(), 3u);
  EXPECT_EQ(entries[1].at("targets").at(0).at("name"), kForgedName.substr(1));
  EXPECT_EQ(entries[1].at("targets").at(1).at("name"), "Z\xc3\xa4hler");
}

// On a pipe, a cancelled update ends with the cancel once.
TEST(OnAPipe, ACancelledUpdateEndsWithOneStatusLine) {
  const std::string folder = FreshFolder("pipe_cancel");
  Devsim devsim(folder, {"--target", "01:firmware", "--target", "02:firmware", "--baud", "57600"});
  ASSERT_TRUE(devsim.Started());
  const CliRun run = RunTool("update-cli", {"-p", devsim.Port(), "-f", SaveFile(folder), "--yes"},
                             [](ChildProcess& cli) {
                               const auto started = [&] {
                                 return cli.Output().find("target 1 Main board controller: ") !=
                                        std::string::npos;
                               };
                               ASSERT_TRUE(cli.WaitUntil(started, kUpdateLimit));
                               cli.Signal(SIGINT);
                             });
  EXPECT_EQ(run.exitStatus, 3);
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), MessageText(MsgCancelledByUser));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), lines.back()), 1);
  devsim.Report();
}

}  // namespace

// Pass in green on a terminal that takes it; no colour with NO_COLOR set, with
// TERM=dumb or on a pipe.
TEST(OnATerminal, PassIsGreenUnlessNoColourIsAsked) {
  const std::string result = FormatMessageText(MsgResult, 2, 2);
  const std::string folder = FreshFolder("colour_terminal");
  TerminalRun run = RunOnTerminal(folder, 80, {"TERM=xterm", "NO_COLOR="});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_NE(run.output.find("\x1b[32m" + result + "\x1b[0m"), std::string::npos) << run.output;
  for (const char* plain : {"NO_COLOR=1", "TERM=dumb"}) {
    run = RunOnTerminal(folder, 80, {plain[0] == 'N' ? "TERM=xterm" : "NO_COLOR=", plain});
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(run.output.find("m" + result), std::string::npos) << plain;
    EXPECT_EQ(run.output.find("\x1b[0m"), std::string::npos) << plain;
    EXPECT_NE(run.output.find(result), std::string::npos) << plain;
  }
}
