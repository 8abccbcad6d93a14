// update-cli's views of an update, in process: how far a target has got, and
// what each view makes of names, comments and paths that hold control bytes or
// are not UTF-8.

#include "tools/cli/progress_view.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "testsupport/captured_text.h"
#include "testsupport/json_lines.h"

namespace {

TEST(DoneOfTotal, CountsBytesBelowOneKibibyte) {
  const auto row = [](int percent, int64_t done) {
    RowSnapshot snapshot;
    snapshot.percent = percent;
    snapshot.done = done;
    return snapshot;
  };
  EXPECT_EQ(DoneOfTotal(row(35, 20), {57, 0}), "20 of 57 bytes");
  EXPECT_EQ(DoneOfTotal(row(100, 0), {57, 0}), "57 of 57 bytes");
  EXPECT_EQ(DoneOfTotal(row(0, 0), {1023, 0}), "0 of 1023 bytes");
  EXPECT_EQ(DoneOfTotal(row(50, 512), {1024, 0}), "0.5 of 1.0 KiB");
  EXPECT_EQ(DoneOfTotal(row(30, 3), {57, 9}), "3 of 9 commands");
  EXPECT_EQ(DoneOfTotal(row(30, 3), {0, 0}), "");
}

// A file whose first name would clear the screen, go home and print a verdict
// of its own; a Latin-1 name; a path with a control in it; and a comment that
// would return to the line's start and begin a line of its own.
const std::string kForgedName = " \x1b[2J\x1b[HAll 3 targets verified OK";
const std::string kLatin1Name = " Z\xe4hler";
const std::string kForgedStatus = "Update cancelled - wrong fileformat in a\x1b[2J.upd.";
const std::string kForgedComment = "erase\rAll 3 targets verified OK\n";

PortDisplay ForgedDisplay() {
  PortDisplay display;
  display.state.statusLine = kForgedStatus;
  display.state.rows = {{"", kForgedName, 100, "ok", 84}, {"", kLatin1Name, 35, "", 20}};
  display.sizes = {{84, 0}, {57, 0}};
  return display;
}

// Plays one device update through the view: progress, a comment, the end.
std::string Played(std::unique_ptr<ProgressView> view, std::FILE* out) {
  const PortDisplay display = ForgedDisplay();
  view->Show({display});
  view->Comment("", kForgedComment);
  DeviceResult result;
  result.statusLine = kForgedStatus;
  result.exitStatus = 4;
  view->DeviceEnded(display, result);
  return ContentsAndClose(out);
}

int TerminalWidth80() { return 80; }

TEST(ProgressViews, ATerminalShowsOutsideTextAndObeysOnlyItsOwnSequences) {
  std::FILE* out = std::tmpfile();
  const std::string output = Played(MakeTerminalView(out, TerminalWidth80), out);
  // What the view itself sends: the line's start, then erase the line or below,
  // or the cursor up over the block.
  const std::string foreign =
      std::regex_replace(output, std::regex("\r\x1b\\[(2K|J)|\x1b\\[[0-9]+A"), "");
  EXPECT_EQ(foreign.find_first_of("\x1b\r"), std::string::npos) << foreign;
  EXPECT_NE(output.find(" \\x1b[2J\\x1b[HAll"), std::string::npos) << output;
  EXPECT_NE(output.find("Z\\xe4hler"), std::string::npos);
  EXPECT_NE(output.find("20 of 57 bytes"), std::string::npos);
  EXPECT_NE(output.find("erase\\x0dAll 3 targets verified OK\\x0a\n"), std::string::npos);
  EXPECT_NE(output.find("\nUpdate cancelled - wrong fileformat in a\\x1b[2J.upd.\n"),
            std::string::npos);
}

TEST(ProgressViews, LinesShowOutsideTextOnALineOfItsOwn) {
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(Lines(Played(MakeLineView(out), out)),
            (std::vector<std::string>{
                "target 1 \\x1b[2J\\x1b[HAll 3 targets verified OK: 100% ok",
                "target 2 Z\\xe4hler: 35% 20 of 57 bytes",
                "Update cancelled - wrong fileformat in a\\x1b[2J.upd.",
                "erase\\x0dAll 3 targets verified OK\\x0a",
                "Update cancelled - wrong fileformat in a\\x1b[2J.upd.",
            }));
}

int TerminalWidth31() { return 31; }
int TerminalWidth13() { return 13; }
int TerminalWidth8() { return 8; }

// The rows an ended update leaves on a terminal of `width`.
std::vector<std::string> FinalRows(int (*width)()) {
  PortDisplay display;
  display.state.rows = {{"", " Main board", 50, "", 8087},
                        {"", " CPLD", 62, "", 35},
                        {"", " Display", 100, "ok", 84}};
  display.sizes = {{16180, 0}, {5000, 197}, {84, 0}};
  std::FILE* out = std::tmpfile();
  MakeTerminalView(out, width)->DeviceEnded(display, DeviceResult{});
  std::vector<std::string> lines = Lines(ContentsAndClose(out));
  EXPECT_EQ(lines.front().substr(0, 4), "\r\x1b[J");
  lines.front().erase(0, 4);  // where the block stood
  lines.pop_back();           // the status line
  return lines;
}

// Narrow terminals used to cut rows inside a figure ("15.8 of 15.8 Ki") and,
// narrower still, lose the percentage. The JTAG row's percentage used to
// measure the program's bytes beside a count of its commands.
TEST(ProgressViews, NarrowTerminalsDropWholeFiguresLeastImportantFirst) {
  const auto bar = [](size_t filled) {
    return "[" + std::string(filled, '#') + std::string(30 - filled, '.') + "] ";
  };
  EXPECT_EQ(FinalRows(TerminalWidth80), (std::vector<std::string>{
                                            " Main board " + bar(15) + "50% 7.9 of 15.8 KiB",
                                            " CPLD       " + bar(5) + "17% 35 of 197 commands",
                                            " Display    " + bar(30) + "100% ok",
                                        }));
  EXPECT_EQ(FinalRows(TerminalWidth31), (std::vector<std::string>{
                                            " Main board 50%",
                                            " CPLD       17%",
                                            " Display    100% ok",
                                        }));
  EXPECT_EQ(FinalRows(TerminalWidth13), (std::vector<std::string>{
                                            " Main bo 50%",
                                            " CPLD    17%",
                                            " Dis 100% ok",
                                        }));
  EXPECT_EQ(FinalRows(TerminalWidth8), (std::vector<std::string>{"50%", "17%", "100% ok"}));
}

// JSON lines name update-cli's one port in every object, give names without the
// blank that follows the id on their line, take a byte that is not UTF-8 for its
// Latin-1 character and escape every control.
TEST(ProgressViews, JsonCarriesTheTextsAsValidUtf8AndThePortInEveryObject) {
  std::FILE* out = std::tmpfile();
  const std::vector<std::string> lines = Lines(Played(MakeJsonView(out, "COM3"), out));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "{\"event\":\"progress\",\"port\":\"COM3\",\"status\":"
                       "\"Update cancelled - wrong fileformat in a\\u001b[2J.upd.\",\"rows\":["
                       "{\"mark\":\"\",\"name\":\"\\u001b[2J\\u001b[HAll 3 targets verified OK\","
                       "\"percent\":100,\"status\":\"ok\"},"
                       "{\"mark\":\"\",\"name\":\"Z\xc3\xa4hler\",\"percent\":35,"
                       "\"status\":\"\"}]}",
                       "{\"event\":\"message\",\"port\":\"COM3\","
                       "\"text\":\"erase\\rAll 3 targets verified OK\\n\"}",
                       "{\"event\":\"result\",\"port\":\"COM3\",\"successes\":null,\"total\":null,"
                       "\"status\":\"Update cancelled - wrong fileformat in a\\u001b[2J.upd.\","
                       "\"exit\":4}",
                   }));
  for (const std::string& line : lines) ParsedJson(line);  // refuses what is not UTF-8
}

// With several ports each object names its own; the summary of the run names none.
TEST(ProgressViews, JsonOfSeveralPortsNamesEachObjectsOwnPort) {
  std::FILE* out = std::tmpfile();
  std::unique_ptr<ProgressView> view = MakeJsonView(out, "");
  view->Message("/dev/ttyUSB1", "Waiting for the port /dev/ttyUSB1 to appear.");
  DeviceResult result;
  result.port = "/dev/ttyUSB0";
  result.hasResult = true;
  result.successes = 2;
  result.total = 2;
  result.statusLine = "2 of 2 targets updated successfully.";
  result.debugLogPath = "xsvf_debug-ttyUSB0.txt";
  PrintJsonResult(out, result);
  view->Finish({{result}, "1 of 2 devices updated successfully.", 4});
  EXPECT_EQ(Lines(ContentsAndClose(out)),
            (std::vector<std::string>{
                "{\"event\":\"message\",\"port\":\"/dev/ttyUSB1\","
                "\"text\":\"Waiting for the port /dev/ttyUSB1 to appear.\"}",
                "{\"event\":\"result\",\"port\":\"/dev/ttyUSB0\",\"successes\":2,\"total\":2,"
                "\"status\":\"2 of 2 targets updated successfully.\",\"exit\":0,"
                "\"debugLog\":\"xsvf_debug-ttyUSB0.txt\"}",
                "{\"event\":\"summary\",\"status\":\"1 of 2 devices updated successfully.\","
                "\"exit\":4}",
            }));
}

}  // namespace
