#include "tools/cli/device_log.h"

#include <gtest/gtest.h>

#include "engine/messages.h"
#include "testsupport/json_value.h"

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

  JsonValue line;
  ASSERT_TRUE(ParseJson(DeviceLogLine(entry), &line));
  EXPECT_EQ(line["entry"].text, "end");
  const auto& targets = line["targets"].items;
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[0]["outcome"].text, "updated");
  EXPECT_EQ(targets[0]["multiplicity"].Int(), 3);
  EXPECT_EQ(targets[1]["outcome"].text, "partly sent");
  EXPECT_EQ(targets[1]["multiplicity"].Int(), 1);
  EXPECT_EQ(targets[2]["outcome"].text, "missing target");
  EXPECT_EQ(targets[2]["id"].text, "03");
  EXPECT_EQ(line["exit"].Int(), 1);
}

// A warning of a passed update (a device that did not confirm the end of its JTAG
// program) stays in the entry; an update without one has no "warnings" field.
TEST(DeviceLog, WarningsOfAPassedUpdateAreKept) {
  DeviceLogEntry entry;
  entry.statusLine = FormatMessageText(MsgResult, 1, 1);
  JsonValue line;
  ASSERT_TRUE(ParseJson(DeviceLogLine(entry), &line));
  EXPECT_EQ(line["warnings"].type, JsonValue::Type::Null);
  entry.warnings = {MessageText(MsgEndNotConfirmed)};
  ASSERT_TRUE(ParseJson(DeviceLogLine(entry), &line));
  ASSERT_EQ(line["warnings"].items.size(), 1u);
  EXPECT_EQ(line["warnings"].items[0].text, MessageText(MsgEndNotConfirmed));
  EXPECT_EQ(line["exit"].Int(), 0);
}

TEST(DeviceLog, AStartEntryNamesThePortAndTheFile) {
  JsonValue line;
  ASSERT_TRUE(ParseJson(DeviceLogStartLine({{}, "COM3", "release.upd", "ab12", {}}), &line));
  EXPECT_EQ(line["entry"].text, "start");
  EXPECT_EQ(line["start"].text, "1970-01-01T00:00:00Z");
  EXPECT_EQ(line["port"].text, "COM3");
  EXPECT_EQ(line["file"].text, "release.upd");
  EXPECT_EQ(line["sha256"].text, "ab12");
  EXPECT_EQ(line["signature"].text, "none");
  EXPECT_EQ(line["keyId"].type, JsonValue::Type::Null);
}

// Both entries say how the file was signed, and by which key.
TEST(DeviceLog, EntriesRecordTheSignatureWithItsKeyId) {
  const SignatureCheck trusted{SignatureState::Trusted, "9196fd4cf5ade1cc", "a.pem"};
  JsonValue line;
  ASSERT_TRUE(ParseJson(DeviceLogStartLine({{}, "COM3", "release.upd", "ab12", trusted}), &line));
  EXPECT_EQ(line["signature"].text, "trusted");
  EXPECT_EQ(line["keyId"].text, "9196fd4cf5ade1cc");
  DeviceLogEntry entry;
  entry.signature = SignatureCheck{SignatureState::UntrustedKey, "0011223344556677", ""};
  ASSERT_TRUE(ParseJson(DeviceLogLine(entry), &line));
  EXPECT_EQ(line["signature"].text, "untrusted");
  EXPECT_EQ(line["keyId"].text, "0011223344556677");
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
