#include "engine/update_file.h"

#include <gtest/gtest.h>

#include "engine/engine_test_support.h"

namespace {

using UpdateFile = EngineTest;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

TEST_F(UpdateFile, ReadsTheFiveLineV100File) {
  LoadFile(
      "Firmwareupdate-Fileformat-V1.00\r\n01\r\n01 Main board\r\n01 000000040002ABCD\r\n00\r\n");
  std::string message;
  ASSERT_TRUE(ReadUpdateHeader(state, &message));
  EXPECT_EQ(state.formatVersion, 0);
  EXPECT_EQ(state.targetCount, 1u);
  EXPECT_EQ(state.rows[0].name.Get(), " Main board");

  uint32_t id = 0;
  ASSERT_TRUE(ReadTargetId(state, &id));
  EXPECT_EQ(id, 1u);
  state.targetFlags = 7;  // left over from an earlier record: "V1.00" has no flags
  ASSERT_TRUE(ReadRecordHeader(state));
  EXPECT_EQ(state.targetFlags, 0);
  EXPECT_EQ(state.targetKind, KindFirmware);
  EXPECT_EQ(state.targetLength, 4);

  EXPECT_EQ(ReadRecordData(), Bytes({0x00, 0x02, 0xAB, 0xCD}));
  EXPECT_TRUE(state.targetEnded);
  const long end = FilePosition();
  ASSERT_TRUE(SkipRecordRest(state));
  EXPECT_EQ(FilePosition(), end);
  ASSERT_TRUE(ReadTargetId(state, &id));
  EXPECT_EQ(id, 0u);
}

TEST_F(UpdateFile, V100DataDigitsOfEitherCase) {
  state.formatVersion = 0;
  state.targetLength = 2;
  LoadFile("0A1b");
  EXPECT_EQ(ReadRecordData(), Bytes({0x0A, 0x1B}));
}

TEST_F(UpdateFile, RunLengthRecordCountsStoredBytes) {
  state.formatVersion = 1;
  state.targetFlags = 0x0001;
  state.targetLength = 5;
  LoadFile(Bytes({0x83, 0x41, 0x02, 0x10, 0x20, 0x99}));

  const uint8_t expected[] = {0x41, 0x41, 0x41, 0x10, 0x20};
  const int32_t consumedAfter[] = {2, 2, 2, 5, 5};
  for (int i = 0; i < 5; ++i) {
    uint8_t byte = 0;
    ASSERT_TRUE(ReadDataByte(&byte)) << i;
    EXPECT_EQ(byte, expected[i]) << i;
    EXPECT_EQ(state.consumed, consumedAfter[i]) << i;
    EXPECT_EQ(state.targetEnded != 0, i == 4) << i;
  }
  uint8_t byte = 0;
  EXPECT_FALSE(ReadDataByte(&byte));
  EXPECT_EQ(FilePosition(), 5) << "the byte after the record stays unread";
}

TEST_F(UpdateFile, RunCrossingTheRecordEndFailsWithinTheRecord) {
  state.formatVersion = 1;
  state.targetFlags = 0x0001;
  uint8_t byte = 0;

  // A literal run of 2 needs 3 stored bytes; the record holds 2.
  state.targetLength = 2;
  LoadFile(Bytes({0x02, 0x10, 0x20}));
  EXPECT_FALSE(ReadDataByte(&byte));
  EXPECT_EQ(FilePosition(), 1);
  ASSERT_TRUE(SkipRecordRest(state));
  EXPECT_EQ(FilePosition(), 2) << "the skip still ends where the record ends";

  // A repeat whose value byte would be the next record's first byte.
  state.consumed = 0;
  state.targetLength = 1;
  LoadFile(Bytes({0x85, 0x41}));
  EXPECT_FALSE(ReadDataByte(&byte));
  EXPECT_EQ(FilePosition(), 1);
}

TEST_F(UpdateFile, VersionTokenMayFollowWhiteSpace) {
  LoadFile("xx Firmwareupdate-Fileformat- \tV1.01 trailing words\r\n00\r\n");
  std::string message;
  EXPECT_TRUE(ReadUpdateHeader(state, &message)) << message;
  EXPECT_EQ(state.formatVersion, 1);
}

TEST_F(UpdateFile, NamesKeepLeadingAndLoseTrailingWhiteSpace) {
  LoadFile("Firmwareupdate-Fileformat-V1.01\r\n03\r\n01 Main unit \t\r\n02Display\n03\r\n00");
  state.rows[1].mark.Set("2 *  ");
  std::string message;
  ASSERT_TRUE(ReadUpdateHeader(state, &message)) << message;
  EXPECT_EQ(state.rows[0].name.Get(), " Main unit");
  EXPECT_EQ(state.rows[1].name.Get(), "Display");
  EXPECT_EQ(state.rows[1].mark.Get(), "");
  EXPECT_EQ(state.rows[2].name.Get(), "");
}

TEST_F(UpdateFile, HexFieldsTakeDigitsOnly) {
  uint32_t value = 0;
  LoadFile(" \t\r\n12345 0x7 -1");
  ASSERT_TRUE(ReadHexField(state.updateFile, 2, &value));
  EXPECT_EQ(value, 0x12u);
  ASSERT_TRUE(ReadHexField(state.updateFile, 8, &value));
  EXPECT_EQ(value, 0x345u);
  // No prefix: 0x7 is the field 0, and the x then stops the next one.
  ASSERT_TRUE(ReadHexField(state.updateFile, 4, &value));
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(ReadHexField(state.updateFile, 4, &value));
  EXPECT_EQ(std::getc(state.updateFile), 'x');
  ASSERT_TRUE(ReadHexField(state.updateFile, 4, &value));
  EXPECT_FALSE(ReadHexField(state.updateFile, 4, &value)) << "no sign";
  EXPECT_EQ(std::getc(state.updateFile), '-');
  ASSERT_TRUE(ReadHexField(state.updateFile, 2, &value));
  EXPECT_FALSE(ReadHexField(state.updateFile, 2, &value)) << "end of the file";
}

TEST_F(UpdateFile, SkipCoversTheUnreadStoredBytes) {
  LoadFile(std::string(40, '0'));
  state.formatVersion = 0;
  state.targetLength = 10;
  ASSERT_TRUE(SkipRecordRest(state));
  EXPECT_EQ(FilePosition(), 20);

  // Run-length data: decoded bytes still in the buffer are not in the file.
  LoadFile(Bytes({0x83, 0x41, 0x01, 0x42, 0x00, 0x00, 0x00}));
  state.formatVersion = 1;
  state.targetFlags = 1;
  state.targetLength = 6;
  uint8_t byte = 0;
  ASSERT_TRUE(ReadDataByte(&byte));
  ASSERT_TRUE(SkipRecordRest(state));
  EXPECT_EQ(FilePosition(), 6);
}

TEST_F(UpdateFile, ProgressInPercentOfTheStoredBytes) {
  state.currentTarget = 2;
  state.consumed = 1;
  state.targetLength = 3;
  ReportProgress();
  EXPECT_EQ(state.rows[2].percent.load(), 33);
  EXPECT_EQ(state.refreshNeeded.load(), 1);

  // Beyond what 32 bits hold in the product.
  state.consumed = 2000000000;
  state.targetLength = 2100000000;
  ReportProgress();
  EXPECT_EQ(state.rows[2].percent.load(), 95);
}

}  // namespace
