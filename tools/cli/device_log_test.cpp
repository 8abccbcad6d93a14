#include "tools/cli/device_log.h"

#include <gtest/gtest.h>

#include "engine/messages.h"
#include "testsupport/json_lines.h"

namespace {

// The log reads each target's outcome and units from the record's data: texts
// that say otherwise (a message changed, a name that looks like a mark) change
// no entry.
TEST(DeviceLog, OutcomesAndUnitsComeFromTheDataNotTheTexts) {
  DeviceLogEntry entry;
  entry.port = "/dev/ttyUSB0";
  entry.ids = {1, 2, 3};
  entry.statusLine = "7 of 7 targets updated successfully.";
  entry.exitStatus = 1;
  RowSnapshot updated;
  updated.name = "Main";
  updated.mark = "9 *  ";
  updated.multiplicity = 3;
  updated.outcome = TargetOutcome::Updated;
  RowSnapshot partly;
  partly.name = "Io";
  partly.status = MessageText(MsgCancelled);
  partly.outcome = TargetOutcome::PartlySent;
  RowSnapshot missing;
  missing.name = "Logic";
  missing.status = "some other text";
  missing.percent = 100;
  missing.outcome = TargetOutcome::MissingTarget;
  entry.last.rows = {updated, partly, missing};

  const JsonDocument line = ParsedJson(DeviceLogLine(entry));
  EXPECT_EQ(line.at("entry"), "end");
  const auto& targets = line.at("targets");
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0].at("outcome"), "updated");
  EXPECT_EQ(targets[0].at("multiplicity"), 3);
  EXPECT_EQ(targets[1].at("outcome"), "partly sent");
  EXPECT_EQ(targets[1].at("multiplicity"), 1);
  EXPECT_EQ(targets[2].at("outcome"), "missing target");
  EXPECT_EQ(targets[2].at("id"), "03");
  EXPECT_EQ(line.at("exit"), 1);
}

// A warning of a passed update (a device that did not confirm the end of its JTAG
// program) stays in the entry; an update without one has no "warnings" field.
TEST(DeviceLog, WarningsOfAPassedUpdateAreKept) {
  DeviceLogEntry entry;
  entry.statusLine = FormatMessageText(MsgResult, 1, 1);
  EXPECT_FALSE(ParsedJson(DeviceLogLine(entry)).contains("warnings"));
  entry.warnings = {MessageText(MsgEndNotConfirmed)};
  const JsonDocument line = ParsedJson(DeviceLogLine(entry));
  EXPECT_EQ(line.at("warnings"), JsonDocument::array({MessageText(MsgEndNotConfirmed)}));
  EXPECT_EQ(line.at("exit"), 0);
}

// Both entries, field by field in their order, as a production line's scripts
// read them. The name line's blank after the id is no part of a name here.
TEST(DeviceLog, EntriesAreOneLineEachWithTheirFieldsInOrder) {
  EXPECT_EQ(DeviceLogStartLine({{}, "COM3", "release.upd", "ab12", {}}),
            "{\"entry\":\"start\",\"start\":\"1970-01-01T00:00:00Z\",\"port\":\"COM3\","
            "\"file\":\"release.upd\",\"sha256\":\"ab12\",\"signature\":\"none\"}");
  DeviceLogEntry entry;
  entry.start = std::chrono::system_clock::time_point(std::chrono::seconds(1796662590));
  entry.port = "/dev/ttyUSB0";
  entry.file = "release.upd";
  entry.fileSha256 = "ab12";
  entry.fileVerified = true;
  entry.ids = {0x01, 0xC7};
  RowSnapshot main;
  main.name = " Main board";
  main.outcome = TargetOutcome::Updated;
  RowSnapshot display;
  display.name = "\t Display";
  entry.last.rows = {main, display};
  entry.seconds = 12.4119;
  entry.statusLine = FormatMessageText(MsgResult, 1, 2);
  entry.exitStatus = 1;
  EXPECT_EQ(DeviceLogLine(entry),
            "{\"entry\":\"end\",\"start\":\"2026-12-07T16:56:30Z\",\"port\":\"/dev/ttyUSB0\","
            "\"file\":\"release.upd\",\"sha256\":\"ab12\",\"verified\":true,\"signature\":\"none\","
            "\"targets\":["
            "{\"id\":\"01\",\"name\":\"Main board\",\"outcome\":\"updated\",\"multiplicity\":1},"
            "{\"id\":\"C7\",\"name\":\"Display\",\"outcome\":\"not reached\",\"multiplicity\":1}],"
            "\"seconds\":12.412,\"status\":\"1 of 2 targets updated successfully.\",\"exit\":1}");
}

// Both entries say how the file was signed, and by which key.
TEST(DeviceLog, EntriesRecordTheSignatureWithItsKeyId) {
  const SignatureCheck trusted{SignatureState::Trusted, "9196fd4cf5ade1cc", "a.pem"};
  const JsonDocument start =
      ParsedJson(DeviceLogStartLine({{}, "COM3", "release.upd", "ab12", trusted}));
  EXPECT_EQ(start.at("signature"), "trusted");
  EXPECT_EQ(start.at("keyId"), "9196fd4cf5ade1cc");
  DeviceLogEntry entry;
  entry.signature = SignatureCheck{SignatureState::UntrustedKey, "0011223344556677", ""};
  const JsonDocument end = ParsedJson(DeviceLogLine(entry));
  EXPECT_EQ(end.at("signature"), "untrusted");
  EXPECT_EQ(end.at("keyId"), "0011223344556677");
}

#ifndef _WIN32
// A log on a full disk says so: the line stops on it.
TEST(DeviceLog, AFullDiskIsAFailedAppend) {
  DeviceLog log;
  std::string error;
  ASSERT_TRUE(log.Open("/dev/full", &error)) << error;
  EXPECT_FALSE(log.AppendStart({{}, "COM3", "release.upd", "", {}}));
}
#endif

}  // namespace
