#include "engine/update_writer.h"

#include <gtest/gtest.h>

#include "testsupport/engine_test_fixture.h"

namespace {

using UpdateWriter = EngineTest;

UpdateTarget Target(uint8_t id, std::string name, uint16_t kind, std::vector<uint8_t> data,
                    bool runLengthCoded = false) {
  UpdateTarget target;
  target.id = id;
  target.name = std::move(name);
  target.kind = kind;
  target.data = std::move(data);
  target.runLengthCoded = runLengthCoded;
  return target;
}

std::vector<uint8_t> Ramp(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

TEST_F(UpdateWriter, WritesTheSmallV101File) {
  const std::vector<uint8_t> payload = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> file;
  std::string reason;
  ASSERT_TRUE(BuildUpdateFile("V1.01", {Target(1, " Main", KindFirmware, FirmwareBlocks(payload))},
                              &file, &reason, Trailer::None));
  std::string expected =
      "Firmwareupdate-Fileformat-V1.01\r\n01\r\n01 Main\r\n01 0000 FEFF 0000000A";
  expected += std::string("\x00\x08", 2) + "\x01\x02\x03\x04\x05\x06\x07\x08" + "\r\n00\r\n";
  EXPECT_EQ(std::string(file.begin(), file.end()), expected);

  ASSERT_TRUE(BuildUpdateFile("V1.00", {Target(1, " Main", KindFirmware, FirmwareBlocks(payload))},
                              &file, &reason, Trailer::None));
  EXPECT_EQ(std::string(file.begin(), file.end()),
            "Firmwareupdate-Fileformat-V1.00\r\n01\r\n01 Main\r\n"
            "01 0000000A00080102030405060708\r\n00\r\n");
}

// The trailer follows the closing 00: the marker, format 01 and the SHA-256 of
// every byte before it.
TEST_F(UpdateWriter, EndsTheFileWithItsChecksum) {
  std::vector<uint8_t> file;
  std::string reason;
  ASSERT_TRUE(BuildUpdateFile("V1.00", {Target(1, " Main", KindFirmware, FirmwareBlocks({0xAB}))},
                              &file, &reason));
  const std::string text(file.begin(), file.end());
  // The digest is what `head -c -93 FILE | sha256sum` prints for the written file.
  EXPECT_EQ(text,
            "Firmwareupdate-Fileformat-V1.00\r\n01\r\n01 Main\r\n01 000000030001AB\r\n00\r\n"
            "Firmwareupdate-Checksum-01 "
            "35e8e84dd5fd41dafd1912be6dfc75278a2278e386312fb1c889f7a4cd5b07c3\r\n");
}

// Every target read back through the reader gives its name, kind and data.
TEST_F(UpdateWriter, RoundTripsThroughTheReader) {
  // Room for the whole vector first: g++ 12 at -O3 warns, falsely, that the copy in
  // a reallocating insert at the end of a full vector reads out of bounds.
  std::vector<uint8_t> repeats(300, 0xEE);
  repeats.reserve(307);
  repeats.insert(repeats.end(), {1, 1, 2, 3, 3, 3, 4});
  const std::pair<const char*, std::vector<UpdateTarget>> files[] = {
      {"V1.00",
       {Target(0x01, " Main board", KindFirmware, FirmwareBlocks(Ramp(2500))),
        Target(0xA5, "", KindFirmware, FirmwareBlocks({}))}},
      {"V1.01",
       {Target(0x01, " Main", KindFirmware, FirmwareBlocks(Ramp(1000)), true),
        Target(0x02, " CPLD", KindXsvf, repeats, true),
        Target(0x03, std::string(kMaxNameLength, 'x'), 0x1234, Ramp(300)),
        Target(0x04, "\tFAB 1", KindFirmware, {0x0D, 0x0A, 0x20}),
        Target(0x05, " One", KindXsvf, {0x42}, true)}},
  };
  for (const auto& [format, targets] : files) {
    ASSERT_NO_FATAL_FAILURE(LoadBuiltFile(format, targets));
    ASSERT_EQ(state.targetCount, targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
      EXPECT_EQ(state.rows[i].name.Get(), targets[i].name) << format << " " << i;
      uint32_t id = 0;
      ASSERT_TRUE(Reader().ReadTargetId(&id));
      EXPECT_EQ(id, targets[i].id);
      ASSERT_TRUE(Reader().ReadRecordHeader());
      EXPECT_EQ(Reader().Kind(), targets[i].kind);
      Reader().StartRecordData();
      EXPECT_EQ(ReadRecordData(), targets[i].data) << format << " " << i;
      EXPECT_TRUE(Reader().Ended()) << format << " " << i;
    }
    uint32_t id = 1;
    ASSERT_TRUE(Reader().ReadTargetId(&id));
    EXPECT_EQ(id, 0u);
  }
}

TEST_F(UpdateWriter, RefusesWhatTheReaderCouldNotReadBack) {
  const std::vector<uint8_t> data = {0, 0};
  const std::pair<const char*, std::vector<UpdateTarget>> refused[] = {
      {"V1.02", {}},
      {"v1.01", {}},
      {"V1.01", std::vector<UpdateTarget>(11, Target(1, "", KindFirmware, data))},
      {"V1.01", {Target(0, " Main", KindFirmware, data)}},
      {"V1.01", {Target(1, std::string(kMaxNameLength + 1, 'x'), KindFirmware, data)}},
      {"V1.01", {Target(1, " Main\nboard", KindFirmware, data)}},
      {"V1.01", {Target(1, " Main\r", KindFirmware, data)}},
      {"V1.01", {Target(1, " Main ", KindFirmware, data)}},
      {"V1.01", {Target(1, " Main", KindFirmware, {})}},
      {"V1.01", {Target(1, " Main", KindFirmware, {}, true)}},
      {"V1.00", {Target(1, " Main", KindXsvf, data)}},
      {"V1.00", {Target(1, " Main", KindFirmware, data, true)}},
  };
  for (const auto& [format, targets] : refused) {
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_FALSE(BuildUpdateFile(format, targets, &bytes, &reason)) << format;
    EXPECT_FALSE(reason.empty()) << format;
  }
  std::vector<uint8_t> bytes;
  std::string reason;
  const std::vector<UpdateTarget> ten(10, Target(1, "", KindFirmware, data));
  EXPECT_TRUE(BuildUpdateFile("V1.01", ten, &bytes, &reason)) << reason;
}

TEST(FirmwareBlocks, CutsAtTheLongestPayload) {
  const std::vector<uint8_t> blocks = FirmwareBlocks(Ramp(1997));
  ASSERT_EQ(blocks.size(), 1997u + 3 * 2);
  EXPECT_EQ(blocks[0], 998 >> 8);
  EXPECT_EQ(blocks[1], 998 & 0xFF);
  EXPECT_EQ(blocks[1000], 998 >> 8);
  EXPECT_EQ(blocks[1001], 998 & 0xFF);
  EXPECT_EQ(blocks[2000], 0);
  EXPECT_EQ(blocks[2001], 1);
  EXPECT_EQ(blocks[2002], Ramp(1997)[1996]);

  EXPECT_EQ(FirmwareBlocks({}), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(FirmwareBlocks({7, 8, 9}, 2), (std::vector<uint8_t>{0, 2, 7, 8, 0, 1, 9}));
  EXPECT_EQ(FirmwareBlocks({7, 8}, 0), (std::vector<uint8_t>{0, 1, 7, 0, 1, 8}));
  EXPECT_EQ(FirmwareBlocks(Ramp(1000), 5000).size(), 1000u + 2 * 2);
}

TEST(RunLengthCode, CodesRunsAndLiterals) {
  EXPECT_EQ(RunLengthCode({0x41, 0x41, 0x41, 0x10, 0x20}),
            (std::vector<uint8_t>{0x83, 0x41, 0x02, 0x10, 0x20}));
  EXPECT_EQ(RunLengthCode({}), std::vector<uint8_t>{});

  // Runs longer than 127 and literals longer than 127 are split; no count byte is
  // ever 0x00 or 0x80.
  std::vector<uint8_t> data(300, 0x55);
  const std::vector<uint8_t> ramp = Ramp(300);
  data.insert(data.end(), ramp.begin(), ramp.end());
  const std::vector<uint8_t> coded = RunLengthCode(data);
  size_t decoded = 0;
  for (size_t i = 0; i < coded.size();) {
    const uint8_t count = coded[i];
    ASSERT_NE(count & 0x7F, 0) << i;
    decoded += count & 0x7F;
    i += (count & 0x80) ? 2 : 1 + count;
  }
  EXPECT_EQ(decoded, data.size());
  EXPECT_EQ(std::vector<uint8_t>(coded.begin(), coded.begin() + 6),
            (std::vector<uint8_t>{0xFF, 0x55, 0xFF, 0x55, 0xAE, 0x55}));
}

}  // namespace
