// update-cli with many devices: several ports at once and, with --repeat, one
// device after another on a port, each device update in the --log; and what an
// update leaves behind for a bug report (--trace, the debug log's path), its
// --wait, through devsim on pseudo-terminals.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "testsupport/json_lines.h"
#include "testsupport/tool_runs.h"
#include "testsupport/update_cases.h"
#include "xsvf/file_bytes.h"

namespace {

CliRun RunUpdateCli(const std::vector<std::string>& arguments,
                    const std::function<void(ChildProcess&)>& meanwhile = {}) {
  return RunTool("update-cli", arguments, meanwhile);
}

// The file's text; "" while it is not there.
std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log's entries of one kind ("start" or "end").
std::vector<JsonDocument> LogEntries(const std::string& log, const std::string& kind) {
  std::vector<JsonDocument> entries;
  for (const JsonDocument& entry : JsonLines(ReadText(log))) {
    if (entry.at("entry") == kind) entries.push_back(entry);
  }
  return entries;
}

// Every end entry closes a start entry of the same port and moment, and every
// start is closed: no update was cut off.
void ExpectEveryStartEnded(const std::string& log) {
  const std::vector<JsonDocument> starts = LogEntries(log, "start");
  const std::vector<JsonDocument> ends = LogEntries(log, "end");
  EXPECT_EQ(starts.size(), ends.size());
  for (const JsonDocument& end : ends) {
    const auto sameUpdate = [&end](const JsonDocument& start) {
      return start.at("port") == end.at("port") && start.at("start") == end.at("start") &&
             start.at("sha256") == end.at("sha256");
    };
    const bool started = std::any_of(starts.begin(), starts.end(), sameUpdate);
    EXPECT_TRUE(started) << end.at("port");
  }
}

std::string FileSha256(const std::string& path) {
  Sha256Digest digest{};
  EXPECT_TRUE(Sha256OfFile(path, &digest));
  return Sha256Hex(digest);
}

// A device of its own for each port, kept at a link named after the device.
struct Device {
  Device(const std::string& folder, const std::string& name, std::vector<std::string> options,
         int updates = 1)
      : link(folder + "/" + name) {
    options.insert(options.end(), {"--link", link, "--no-waits"});
    const std::string reports = folder + "/" + name + "-sim";
    std::filesystem::create_directories(reports);
    devsim = std::make_unique<Devsim>(reports, options, updates);
  }
  std::string link;
  std::unique_ptr<Devsim> devsim;
};

// One firmware target and one JTAG target: a device without the JTAG target
// updates half of the file.
std::string SaveFirmwareAndLogic(const std::string& folder) {
  const std::string file = folder + "/update.upd";
  EXPECT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 4),
                                                       XsvfTarget(3, " Logic", DemoChipProgram())})));
  return file;
}

TEST(ManyDevices, FourAtOnceEachWithItsOwnOutcome) {
  const std::string folder = FreshFolder("four_devices");
  const std::string file = SaveFirmwareAndLogic(folder);
  const std::string log = folder + "/updates.log";
  Device silent(folder, "silent", {"--target", "01:firmware", "--switch-on", "600000"}, 0);
  Device jtag(folder, "jtag", {"--target", "01:firmware", "--target", "03:jtag:demo"});
  Device main1(folder, "main1", {"--target", "01:firmware"});
  Device main2(folder, "main2", {"--target", "01:firmware"});
  for (Device* device : {&silent, &jtag, &main1, &main2}) ASSERT_TRUE(device->devsim->Started());

  const CliRun run = RunUpdateCli({"-p", silent.link, "-p", jtag.link, "-p", main1.link, "-p",
                                   main2.link, "-f", file, "--wait", "3", "--log", log});
  // The silent device is the most serious: no device answered there.
  EXPECT_EQ(run.exitStatus, 2) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 5u) << run.output;
  const std::vector<std::string> last(lines.end() - 5, lines.end());
  EXPECT_EQ(last, (std::vector<std::string>{
                      silent.link + ": No device answered on " + silent.link + " within 3 seconds.",
                      jtag.link + ": " + FormatMessageText(MsgResult, 2, 2),
                      main1.link + ": " + FormatMessageText(MsgResult, 1, 2),
                      main2.link + ": " + FormatMessageText(MsgResult, 1, 2),
                      "1 of 4 devices updated successfully."}));
  // Every line of the run names its port.
  for (const std::string& line : std::vector<std::string>(lines.begin(), lines.end() - 1)) {
    EXPECT_TRUE(line.rfind(folder + "/", 0) == 0) << line;
  }
  EXPECT_TRUE(std::filesystem::exists("xsvf_debug-jtag.txt"));

  const std::vector<JsonDocument> entries = LogEntries(log, "end");
  ASSERT_EQ(entries.size(), 4u);
  ExpectEveryStartEnded(log);
  for (const JsonDocument& entry : entries) {
    EXPECT_EQ(entry.at("file"), file);
    EXPECT_EQ(entry.at("sha256"), FileSha256(file));
    ASSERT_EQ(entry.at("targets").size(), 2u);
    EXPECT_EQ(entry.at("targets").at(0).at("id"), "01");
    EXPECT_EQ(entry.at("targets").at(1).at("id"), "03");
    EXPECT_EQ(entry.at("targets").at(1).at("name"), "Logic");
  }
  const auto entryOf = [&entries](const std::string& port) {
    return *std::find_if(entries.begin(), entries.end(),
                         [&port](const JsonDocument& entry) { return entry.at("port") == port; });
  };
  EXPECT_EQ(entryOf(jtag.link).at("exit"), 0);
  EXPECT_EQ(entryOf(jtag.link).at("targets").at(1).at("outcome"), "updated");
  EXPECT_EQ(entryOf(main1.link).at("exit"), 1);
  EXPECT_EQ(entryOf(main1.link).at("targets").at(0).at("outcome"), "updated");
  EXPECT_EQ(entryOf(main1.link).at("targets").at(1).at("outcome"), "missing target");
  EXPECT_EQ(entryOf(silent.link).at("exit"), 2);
  EXPECT_EQ(entryOf(silent.link).at("targets").at(0).at("outcome"), "not reached");

  silent.devsim->Stop();
  for (Device* device : {&silent, &jtag, &main1, &main2}) device->devsim->Report();
}

// With JSON, every object carries its port, and a summary closes the run.
TEST(ManyDevices, JsonObjectsCarryTheirPort) {
  const std::string folder = FreshFolder("two_devices_json");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device a(folder, "a", {"--target", "01:firmware"});
  Device b(folder, "b", {"--target", "01:firmware"});
  const CliRun run = RunUpdateCli({"--port=" + a.link, "--port=" + b.link, "--file=" + file, "--json"});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_FALSE(objects.empty());
  for (size_t i = 0; i + 1 < objects.size(); ++i) {
    EXPECT_TRUE(objects[i].at("port") == a.link || objects[i].at("port") == b.link)
        << i << ": " << objects[i].at("event");
  }
  EXPECT_EQ(objects.back().at("event"), "summary");
  EXPECT_EQ(objects.back().at("status"), "2 of 2 devices updated successfully.");
  EXPECT_EQ(objects.back().at("exit"), 0);
  a.devsim->Report();
  b.devsim->Report();
}

// The result object of one device update that passed, as the JSON lines give it.
std::string PassedResult(const std::string& port) {
  return "{\"event\":\"result\",\"port\":\"" + port +
         "\",\"successes\":1,\"total\":1,\"status\":\"1 of 1 targets updated successfully.\","
         "\"exit\":0}";
}

// With one port every object names it as well, and the rows give the target's
// name without the blank that follows its id in the file.
TEST(OnePort, JsonObjectsCarryThePortToo) {
  const std::string folder = FreshFolder("one_device_json");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device device(folder, "a", {"--target", "01:firmware"});
  const CliRun run = RunUpdateCli({"-p", device.link, "-f", file, "--json"});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_GE(objects.size(), 2u) << run.output;
  for (const JsonDocument& object : objects) EXPECT_EQ(object.at("port"), device.link) << object;
  EXPECT_EQ(objects[objects.size() - 2].at("rows").at(0).at("name"), "Main");
  EXPECT_EQ(Lines(run.output).back(), PassedResult(device.link));
  device.devsim->Report();
}

// On a production line of one port every event names the port, the results of
// its devices included; the summary of the run names none.
TEST(Repeat, JsonOnOnePortNamesThePortInEveryEvent) {
  const std::string folder = FreshFolder("repeat_json");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device line(folder, "line", {"--target", "01:firmware"}, 2);
  ASSERT_TRUE(line.devsim->Started());
  const std::string passed = PassedResult(line.link);
  const auto twoPassed = [&passed](ChildProcess& cli) {
    const std::vector<std::string> lines = Lines(cli.Output());
    return std::count(lines.begin(), lines.end(), passed) >= 2;
  };
  const CliRun run =
      RunUpdateCli({"-p", line.link, "-f", file, "--repeat", "--json"}, [&](ChildProcess& cli) {
        ASSERT_TRUE(cli.WaitUntil([&] { return twoPassed(cli); }, kUpdateLimit)) << cli.Output();
        cli.Signal(SIGINT);
      });
  // How the run ends depends on whether the port was already open again for a
  // third device when Ctrl-C came; the ports do not.
  const std::vector<JsonDocument> objects = JsonLines(run.output);
  ASSERT_GE(objects.size(), 3u) << run.output;
  for (size_t i = 0; i + 1 < objects.size(); ++i) {
    EXPECT_EQ(objects[i].at("port"), line.link) << objects[i];
  }
  EXPECT_EQ(objects.back().at("event"), "summary");
  EXPECT_FALSE(objects.back().contains("port"));
  line.devsim->Report();
}

// A port that cannot be opened is reported, the others still run, and the
// summary counts it as a device not updated.
TEST(ManyDevices, APortThatCannotBeOpenedLeavesTheOthersRunning) {
  const std::string folder = FreshFolder("one_port_missing");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device good(folder, "good", {"--target", "01:firmware"});
  const std::string missing = folder + "/missing";
  const CliRun run = RunUpdateCli({"-p", missing, "-p", good.link, "-f", file});
  EXPECT_EQ(run.exitStatus, 4) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 3u) << run.output;
  const std::string portText = FormatMessageText(MsgPortInUse, missing.c_str());
  EXPECT_EQ(lines[lines.size() - 3], missing + ": " + portText.substr(0, portText.find('\n')));
  EXPECT_EQ(lines[lines.size() - 2], good.link + ": " + FormatMessageText(MsgResult, 1, 1));
  EXPECT_EQ(lines.back(), "1 of 2 devices updated successfully.");
  good.devsim->Report();

  const CliRun none = RunUpdateCli({"-p", missing, "-p", folder + "/gone", "-f", file});
  EXPECT_EQ(none.exitStatus, 4) << none.errors;
  EXPECT_EQ(Lines(none.output).back(), FormatMessageText(MsgDevicesResult, 0, 2));
}

// A production line: the device is updated, taken away, and the next one comes
// on the same port (devsim makes a fresh terminal at the same link each time).
TEST(Repeat, UpdatesEachDeviceThatComesUntilCtrlC) {
  const std::string folder = FreshFolder("repeat");
  const std::string file = folder + "/update.upd";
  const std::string log = folder + "/updates.log";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 3)})));
  Device line(folder, "line", {"--target", "01:firmware"}, 3);
  ASSERT_TRUE(line.devsim->Started());
  const CliRun run =
      RunUpdateCli({"-p", line.link, "-f", file, "--repeat", "--log", log}, [&](ChildProcess& cli) {
        const auto threeLogged = [&] { return LogEntries(log, "end").size() >= 3; };
        ASSERT_TRUE(cli.WaitUntil(threeLogged, kUpdateLimit)) << cli.Output() << cli.Errors();
        cli.Signal(SIGINT);
      });
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output).back(), "3 of 3 devices updated successfully.");
  const std::vector<JsonDocument> entries = LogEntries(log, "end");
  ASSERT_EQ(entries.size(), 3u);
  ExpectEveryStartEnded(log);
  for (const JsonDocument& entry : entries) {
    EXPECT_EQ(entry.at("exit"), 0);
    EXPECT_EQ(entry.at("status"), FormatMessageText(MsgResult, 1, 1));
  }
  EXPECT_EQ(line.devsim->Report()["connections"], 3u);
}

// The file is read once, when the run starts: replaced on disk (mv) after the
// first device and overwritten in place (cp) after the second, it still reaches
// every device as it was checked, and the log carries its SHA-256. A file
// without a checksum is said to be so, on standard error and in the log.
TEST(Repeat, EveryDeviceGetsTheFileAsItWasChecked) {
  const std::string folder = FreshFolder("repeat_replaced");
  const std::string file = folder + "/update.upd";
  const std::string log = folder + "/updates.log";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 3)})));
  const std::string checked = FileSha256(file);
  const std::string other = folder + "/other.upd";
  ASSERT_TRUE(WriteFileBytes(other, BuildFile("V1.01", {FirmwareTarget(1, " Main", 5, 77)})));
  Device line(folder, "line", {"--target", "01:firmware"}, 3);
  ASSERT_TRUE(line.devsim->Started());
  const auto logged = [&log](size_t count) {
    return [&log, count] { return LogEntries(log, "end").size() >= count; };
  };
  const CliRun run =
      RunUpdateCli({"-p", line.link, "-f", file, "--repeat", "--log", log}, [&](ChildProcess& cli) {
        ASSERT_TRUE(cli.WaitUntil(logged(1), kUpdateLimit)) << cli.Output() << cli.Errors();
        std::filesystem::rename(other, file);
        ASSERT_TRUE(cli.WaitUntil(logged(2), kUpdateLimit)) << cli.Output() << cli.Errors();
        ASSERT_TRUE(WriteFileBytes(file, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'u', 'p', 'd'}));
        ASSERT_TRUE(cli.WaitUntil(logged(3), kUpdateLimit)) << cli.Output() << cli.Errors();
        cli.Signal(SIGINT);
      });
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  EXPECT_EQ(Lines(run.output).back(), "3 of 3 devices updated successfully.");
  EXPECT_EQ(Lines(run.errors).front(), file + " has no checksum: it cannot be verified.");
  const std::vector<JsonDocument> entries = LogEntries(log, "end");
  ASSERT_EQ(entries.size(), 3u);
  ExpectEveryStartEnded(log);
  for (const JsonDocument& entry : entries) {
    EXPECT_EQ(entry.at("status"), FormatMessageText(MsgResult, 1, 1));
    EXPECT_EQ(entry.at("sha256"), checked);
    EXPECT_TRUE(entry.at("verified").is_boolean());
    EXPECT_FALSE(entry.at("verified"));
  }
  // Three blocks for each device, as the checked file holds.
  EXPECT_EQ(line.devsim->Report()["blocks"], 9u);
}

TEST(Log, ThatCannotBeWrittenStopsBeforeAnyDeviceIsTouched) {
  const std::string folder = FreshFolder("log_unwritable");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}, Trailer::Checksum)));
  Device device(folder, "dev", {"--target", "01:firmware"});
  const CliRun run = RunUpdateCli({"-p", device.link, "-f", file, "--log", folder});
  EXPECT_EQ(run.exitStatus, 4);
  EXPECT_EQ(run.errors.rfind("Cannot write the log " + folder + ": ", 0), 0u) << run.errors;
  device.devsim->Stop();
  EXPECT_EQ(device.devsim->Report()["bytes_received"], 0u);
}

// A port that is not there yet: the line says it waits for it, and Ctrl-C
// then ends the run as cancelled, with no device counted.
TEST(Repeat, SaysItWaitsForAPortThatIsNotThere) {
  const std::string folder = FreshFolder("repeat_missing");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  const std::string missing = folder + "/missing";
  const std::string waiting = FormatMessageText(MsgWaitingForPort, missing.c_str());
  const CliRun run = RunUpdateCli({"-p", missing, "-f", file, "--repeat"}, [&](ChildProcess& cli) {
    const auto said = [&] { return cli.Output().find(waiting) != std::string::npos; };
    ASSERT_TRUE(cli.WaitUntil(said, kUpdateLimit)) << cli.Output();
    cli.Signal(SIGINT);
  });
  EXPECT_EQ(run.exitStatus, 3) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 3u) << run.output;
  EXPECT_EQ(lines.front(), missing + ": " + waiting);
  EXPECT_EQ(lines[lines.size() - 2], missing + ": " + MessageText(MsgCancelledWaiting));
  EXPECT_EQ(lines.back(), FormatMessageText(MsgDevicesResult, 0, 0));
}

// A log that cannot be written stops the line before a device is touched, with
// an exit status of its own.
TEST(Log, ThatFillsUpStopsTheLineWithItsOwnStatus) {
  const std::string folder = FreshFolder("log_full");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}, Trailer::Checksum)));
  Device device(folder, "dev", {"--target", "01:firmware"});
  const CliRun run =
      RunUpdateCli({"-p", device.link, "-f", file, "--repeat", "--log", "/dev/full"});
  EXPECT_EQ(run.exitStatus, 5);
  EXPECT_EQ(run.errors, FormatMessageText(MsgLogUnwritable, "/dev/full", "No space left on device") +
                            "\n" + MessageText(MsgLineStopped) + "\n");
  EXPECT_EQ(Lines(run.output).back(), FormatMessageText(MsgDevicesResult, 0, 1));

  // One device, with JSON: the script gets its result object.
  const CliRun single = RunUpdateCli({"-p", device.link, "-f", file, "--log", "/dev/full", "--json"});
  EXPECT_EQ(single.exitStatus, 5);
  const std::vector<JsonDocument> objects = JsonLines(single.output);
  ASSERT_EQ(objects.size(), 1u) << single.output;
  EXPECT_EQ(objects[0].at("status"), MessageText(MsgLineStopped));
  EXPECT_EQ(objects[0].at("exit"), 5);
  device.devsim->Stop();
  EXPECT_EQ(device.devsim->Report()["bytes_received"], 0u);
}

// Everything the run writes is checked before the first byte goes to the
// device: an XSVF debug log in a folder that is not there ends the run at once,
// in the user's words, and leaves no file behind where it can be written.
TEST(DebugLog, ThatCannotBeWrittenIsFoundBeforeTheDevice) {
  const std::string folder = FreshFolder("debug_log_unwritable");
  const std::string file = SaveFirmwareAndLogic(folder);
  const std::string debugLog = folder + "/nodir/x.txt";
  Device device(folder, "dev", {"--target", "01:firmware", "--target", "03:jtag:demo"});
  const CliRun run = RunUpdateCli({"-p", device.link, "-f", file, "--debug-log", debugLog});
  EXPECT_EQ(run.exitStatus, 4);
  EXPECT_EQ(run.errors, FormatMessageText(MsgNoChecksum, file.c_str()) + "\n" +
                            FormatMessageText(MsgDebugLogUnwritable, debugLog.c_str(),
                                              "No such file or directory") + "\n");
  device.devsim->Stop();
  EXPECT_EQ(device.devsim->Report()["bytes_received"], 0u);

  const std::string firmwareOnly = folder + "/firmware.upd";
  ASSERT_TRUE(WriteFileBytes(firmwareOnly, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device other(folder, "other", {"--target", "01:firmware"});
  const std::string unused = folder + "/unused.txt";
  const CliRun noJtag = RunUpdateCli({"-p", other.link, "-f", firmwareOnly, "--debug-log", unused});
  EXPECT_EQ(noJtag.exitStatus, 0) << noJtag.errors;
  EXPECT_FALSE(std::filesystem::exists(unused));
  other.devsim->Report();
}

TEST(Wait, GivesUpOnADeviceThatDoesNotAnswer) {
  const std::string folder = FreshFolder("wait");
  const std::string file = folder + "/update.upd";
  ASSERT_TRUE(WriteFileBytes(file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)})));
  Device off(folder, "off", {"--target", "01:firmware", "--switch-on", "600000"});
  const CliRun run = RunUpdateCli({"-p", off.link, "-f", file, "-w", "1.5"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(Lines(run.output).back(),
            "No device answered on " + off.link + " within 1.5 seconds.");
  off.devsim->Report();
}

// The trace names what the host sent and shows what the device answered.
TEST(Trace, ShowsEveryExchangeOnALine) {
  const std::string folder = FreshFolder("trace");
  const std::string file = folder + "/update.upd";
  const std::string trace = folder + "/trace.txt";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {FirmwareTarget(1, " Main", 2),
                                XsvfTarget(3, " Logic", AssembleXsvf("XSTATE RESET\nXCOMPLETE\n"))})));
  Device device(folder, "dev", {"--target", "01:firmware", "--target", "03:jtag"});
  const CliRun run = RunUpdateCli({"-p", device.link, "-f", file, "--trace", trace});
  EXPECT_EQ(run.exitStatus, 0) << run.errors;
  device.devsim->Report();
  const std::string text = ReadText(trace);
  for (const char* expected :
       {"> A4  wake-up probe  < 11 (+", "> A3  start  < ", " 88 (+", "> A5 01 00  multiplicity query, target 01",
        "> A0  select", "> 01 FE  selection pair, target 01  < 11", "> 00 28 ", "firmware block of 40 bytes  < 11",
        "> FF 00  kind: JTAG  < 11", "> 00 1E 42 10 10 01 11 01 11 ",
        "frame 'B': TAP levels  < 11",
        "frame 'F': end of the JTAG work  < 44", "> A2  end"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

// After an XSVF error the user is told where the player's debug log is, just
// before the final status line.
TEST(DebugLog, ItsPathIsNamedAfterAnXsvfError) {
  const std::string folder = FreshFolder("debug_log_path");
  const std::string file = folder + "/update.upd";
  const std::string debugLog = folder + "/player.txt";
  ASSERT_TRUE(WriteFileBytes(
      file, BuildFile("V1.01", {XsvfTarget(3, " Logic", AssembleXsvf("XSTATE RESET\nXSIR 8 0x01\n"
                                                                     "XSDRSIZE 8\nXSDRTDO 0x00 0xa5\n"
                                                                     "XCOMPLETE\n"))})));
  Device device(folder, "dev", {"--target", "03:jtag"});
  const CliRun run = RunUpdateCli({"-p", device.link, "-f", file, "--debug-log", debugLog});
  EXPECT_EQ(run.exitStatus, 2) << run.errors;
  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2],
            "XSVF debug log: " + std::filesystem::absolute(debugLog).string());
  EXPECT_EQ(lines.back(), MessageText(MsgTdoMismatch));
  EXPECT_NE(ReadText(debugLog).find("ERROR:  TDO mismatch"), std::string::npos);
  device.devsim->Report();
}

// With --one-step-frames every TAP step is a frame of its own, as an old boot
// loader needs: more frames, the same levels applied in the same order.
TEST(OneStepFrames, SendEachStepAloneAndDriveThePinsAlike) {
  const std::string folder = FreshFolder("one_step_frames");
  const std::string file = SaveFirmwareAndLogic(folder);
  std::map<std::string, uint64_t> reports[2];
  const std::vector<std::string> options[2] = {{}, {"--one-step-frames"}};
  for (int i = 0; i < 2; ++i) {
    Device device(folder, "dev" + std::to_string(i), {"--target", "01:firmware", "--target",
                                                      "03:jtag:demo"});
    std::vector<std::string> arguments{"-p", device.link, "-f", file};
    arguments.insert(arguments.end(), options[i].begin(), options[i].end());
    const CliRun run = RunUpdateCli(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Lines(run.output).back(), "2 of 2 targets updated successfully.");
    reports[i] = device.devsim->Report();
  }
  const auto& [batched, oneStep] = reports;
  EXPECT_GT(oneStep.at("command_B"), 2 * batched.at("command_B"));
  EXPECT_EQ(oneStep.at("jtag_03_levels"), batched.at("jtag_03_levels"));
  EXPECT_EQ(oneStep.at("jtag_03_level_digest"), batched.at("jtag_03_level_digest"));
  EXPECT_EQ(oneStep.at("jtag_03_mismatches"), 0u);
  EXPECT_EQ(batched.at("jtag_03_mismatches"), 0u);
}

}  // namespace
