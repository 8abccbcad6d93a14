// The station's board: what each tile, the header, the totals and the results
// say as the run goes, the controls it answers the run with, and that it
// publishes only what changed, as valid JSON whatever the device said.

#include "tools/station/station_board.h"

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "tools/cli/device_log.h"

namespace {

using nlohmann::json;

std::vector<StationPort> TwoPorts() {
  return {{"A", "/dev/ttyA"}, {"B", "/dev/ttyB"}};
}

json State(const StationBoard& board) {
  std::string text;
  board.Published(&text);
  return json::parse(text);
}

RowSnapshot Row(const std::string& name, int percent, const std::string& status = "") {
  RowSnapshot row;
  row.name = name;
  row.percent = percent;
  row.status = status;
  return row;
}

PortDisplay Display(const std::string& port, bool answered, std::vector<RowSnapshot> rows) {
  PortDisplay display;
  display.port = port;
  display.deviceAnswered = answered;
  display.state.rows = std::move(rows);
  display.state.statusLine = "running update";
  return display;
}

DeviceResult Ended(int exitStatus, const std::string& status, double seconds) {
  DeviceResult result;
  result.exitStatus = exitStatus;
  result.statusLine = status;
  result.seconds = seconds;
  result.startedAt = std::chrono::system_clock::time_point(std::chrono::seconds(1796748990));
  return result;
}

TEST(StationBoard, ShowsTheFilesHeader) {
  StationBoard board("/srv/line/release.upd", TwoPorts(), true, "run1");
  EXPECT_TRUE(State(board)["file"].is_null());
  FileSummary file;
  file.header.formatVersion = 1;
  file.header.targets = {{1, "Main board"}, {0x2A, "Display"}};
  file.ids = {1, 0x2A};
  file.sha256 = std::string(64, 'c');
  file.verified = true;
  board.MakeView(file);
  const json shown = State(board)["file"];
  EXPECT_EQ(shown["name"], "release.upd");
  EXPECT_EQ(shown["format"], knownFormats[1].name);
  EXPECT_EQ(shown["sha256"], std::string(64, 'c'));
  EXPECT_EQ(shown["checksum"], "verified");
  EXPECT_EQ(shown["signature"], "not signed");
  EXPECT_EQ(shown["targets"], json::parse(R"([{"id":"01","name":"Main board"},{"id":"2A","name":"Display"}])"));
}

TEST(StationBoard, ATileGoesFromWaitingThroughItsTargetsToItsOutcome) {
  StationBoard board("f.upd", TwoPorts(), true, "run1");
  auto view = board.MakeView(FileSummary());
  EXPECT_EQ(State(board)["ports"][0]["state"], "waiting");

  // Waiting for the device to answer is still waiting.
  view->Show({Display("/dev/ttyA", false, {Row("Main", 0), Row("Display", 0)})});
  EXPECT_EQ(State(board)["ports"][0]["state"], "waiting");

  PortDisplay second = Display("/dev/ttyA", true, {Row("Main", 100), Row("Display", 40)});
  view->Show({second});
  json tile = State(board)["ports"][0];
  EXPECT_EQ(tile["state"], "updating");
  EXPECT_EQ(tile["target"], 2);
  EXPECT_EQ(tile["targets"], 2);
  EXPECT_EQ(tile["percent"], 40);
  EXPECT_TRUE(tile["secondsLeft"].is_null());
  second.secondsLeft = 12.34;
  view->Show({second});
  EXPECT_EQ(State(board)["ports"][0]["secondsLeft"], 12.3);

  // A failed target ends its row early; the next target is the one under way.
  view->Show({Display("/dev/ttyA", true, {Row("Main", 30, "unsuccessful"), Row("Display", 5)})});
  EXPECT_EQ(State(board)["ports"][0]["target"], 2);

  view->DeviceEnded(Display("/dev/ttyA", true, {Row("Main", 30, "unsuccessful"), Row("Display", 100)}),
                    Ended(1, "1 of 2 targets updated successfully.", 7.25));
  tile = State(board)["ports"][0];
  EXPECT_EQ(tile["state"], "failed");
  EXPECT_EQ(tile["status"], "1 of 2 targets updated successfully.");
  EXPECT_EQ(tile["failed"], 1);
  EXPECT_TRUE(tile["secondsLeft"].is_null());

  // The outcome stays until the next device answers.
  view->Show({Display("/dev/ttyA", false, {Row("Main", 0), Row("Display", 0)})});
  EXPECT_EQ(State(board)["ports"][0]["state"], "failed");
  view->Show({Display("/dev/ttyA", true, {Row("Main", 10), Row("Display", 0)})});
  EXPECT_EQ(State(board)["ports"][0]["state"], "updating");
}

TEST(StationBoard, ResultsAndTotalsAreTheLogsNewestFirstAndAtMostFifty) {
  StationBoard board("f.upd", TwoPorts(), true, "run1");
  auto view = board.MakeView(FileSummary());
  view->DeviceEnded(Display("/dev/ttyB", true, {Row("Main", 100)}),
                    Ended(0, "1 of 1 targets updated successfully.", 3.0004));
  view->DeviceEnded(Display("/dev/ttyA", true, {Row("Main", 20, "unsuccessful")}),
                    Ended(1, "0 of 1 targets updated successfully.", 2));
  json state = State(board);
  EXPECT_EQ(state["totals"]["passed"], 1);
  EXPECT_EQ(state["totals"]["failed"], 1);
  EXPECT_GT(state["totals"]["perHour"].get<double>(), 0);
  ASSERT_EQ(state["results"].size(), 2u);
  const json newest = state["results"][0];
  EXPECT_EQ(newest["label"], "A");
  EXPECT_EQ(newest["port"], "/dev/ttyA");
  EXPECT_EQ(newest["outcome"], "failed");
  EXPECT_EQ(newest["exit"], 1);
  EXPECT_EQ(newest["start"], UtcTime(Ended(0, "", 0).startedAt));
  EXPECT_EQ(state["results"][1]["seconds"], 3.0);
  EXPECT_EQ(state["results"][1]["outcome"], "passed");

  for (int i = 0; i < 60; ++i) {
    view->DeviceEnded(Display("/dev/ttyB", true, {Row("Main", 100)}), Ended(0, "ok " + std::to_string(i), 1));
  }
  state = State(board);
  ASSERT_EQ(state["results"].size(), kResultsShown);
  EXPECT_EQ(state["results"][0]["status"], "ok 59");
  EXPECT_EQ(state["totals"]["passed"], 61);
  EXPECT_EQ(state["ports"][1]["passed"], 61);
}

TEST(StationBoard, PauseHoldsAPortAndStopHoldsTheLine) {
  StationBoard board("f.upd", TwoPorts(), true, "run1");
  auto view = board.MakeView(FileSummary());
  EXPECT_FALSE(board.Paused(1));
  EXPECT_TRUE(board.SetPaused(1, true));
  EXPECT_TRUE(board.Paused(1));
  EXPECT_FALSE(board.Paused(0));
  EXPECT_FALSE(board.SetPaused(2, true));
  EXPECT_FALSE(board.Paused(2));
  json tile = State(board)["ports"][1];
  EXPECT_EQ(tile["state"], "paused");
  EXPECT_EQ(tile["paused"], true);
  // A device under way on a paused port finishes: its tile says so.
  view->Show({Display("/dev/ttyB", true, {Row("Main", 50)})});
  EXPECT_EQ(State(board)["ports"][1]["state"], "updating");
  board.SetPaused(1, false);
  EXPECT_FALSE(board.Paused(1));

  EXPECT_FALSE(board.LineStopped());
  board.StopLine();
  EXPECT_TRUE(board.LineStopped());
  EXPECT_EQ(State(board)["stopping"], true);
  view->Finish(RunSummary());
  const json state = State(board);
  EXPECT_EQ(state["ended"], true);
  EXPECT_EQ(state["ports"][0]["state"], "stopped");
}

TEST(StationBoard, PublishesOnlyChangesAndWakesItsClients) {
  StationBoard board("f.upd", TwoPorts(), true, "run1");
  auto view = board.MakeView(FileSummary());
  const std::vector<PortDisplay> waiting = {Display("/dev/ttyA", false, {Row("Main", 0)}),
                                            Display("/dev/ttyB", false, {Row("Main", 0)})};
  view->Show(waiting);
  std::string text;
  const uint64_t first = board.Published(&text);
  view->Show(waiting);
  EXPECT_EQ(board.Published(&text), first);
  // A client waiting for a change wakes as soon as there is one.
  std::thread change([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    view->Show({Display("/dev/ttyA", true, {Row("Main", 10)}), waiting[1]});
  });
  const auto before = std::chrono::steady_clock::now();
  const uint64_t next = board.WaitForChange(first, std::chrono::seconds(60), &text);
  change.join();
  EXPECT_EQ(next, first + 1);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
  EXPECT_EQ(json::parse(text)["ports"][0]["state"], "updating");
}

TEST(StationBoard, WhatTheDeviceOrTheFileSaidIsAlwaysValidJson) {
  StationBoard board("f.upd", {{"A\"<b>", "/dev/\xff\xfe"}}, true, "run1");
  auto view = board.MakeView(FileSummary());
  view->DeviceEnded(Display("", true, {Row("Main\x01", 100)}), Ended(2, "bad \xc3\x28 reply\n<script>", 1));
  const json state = State(board);
  EXPECT_EQ(state["ports"][0]["label"], "A\"<b>");
  EXPECT_EQ(state["ports"][0]["state"], "failed");
  EXPECT_EQ(state["ports"][0]["status"], "bad \xef\xbf\xbd( reply\n<script>");
  EXPECT_EQ(state["ports"][0]["path"], "/dev/\xef\xbf\xbd\xef\xbf\xbd");
}

}  // namespace
