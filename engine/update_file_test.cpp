#include "engine/update_file.h"

#include <gtest/gtest.h>

#include "testsupport/engine_test_fixture.h"

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
  ASSERT_TRUE(ReadHeader(&message));
  EXPECT_EQ(state.formatVersion, 0);
  EXPECT_EQ(state.targetCount, 1u);
  EXPECT_EQ(state.rows[0].name.Get(), " Main board");

  uint32_t id = 0;
  ASSERT_TRUE(Reader().ReadTargetId(&id));
  EXPECT_EQ(id, 1u);
  ASSERT_TRUE(Reader().ReadRecordHeader());
  EXPECT_EQ(Reader().Flags(), 0);
  EXPECT_EQ(Reader().Kind(), KindFirmware);
  EXPECT_EQ(Reader().Length(), 4);

  EXPECT_EQ(ReadRecordData(), Bytes({0x00, 0x02, 0xAB, 0xCD}));
  EXPECT_TRUE(Reader().Ended());
  const long end = FilePosition();
  ASSERT_TRUE(Reader().SkipRecordRest());
  EXPECT_EQ(FilePosition(), end);
  ASSERT_TRUE(Reader().ReadTargetId(&id));
  EXPECT_EQ(id, 0u);
}

TEST_F(UpdateFile, V100DataDigitsOfEitherCase) {
  LoadRecord(0, 0, 2, Bytes({'0', 'A', '1', 'b'}));
  EXPECT_EQ(ReadRecordData(), Bytes({0x0A, 0x1B}));
}

TEST_F(UpdateFile, RunLengthRecordCountsStoredBytes) {
  LoadRecord(1, 0x0001, 5, Bytes({0x83, 0x41, 0x02, 0x10, 0x20, 0x99}));

  const uint8_t expected[] = {0x41, 0x41, 0x41, 0x10, 0x20};
  const int32_t consumedAfter[] = {2, 2, 2, 5, 5};
  for (int i = 0; i < 5; ++i) {
    uint8_t byte = 0;
    ASSERT_TRUE(Reader().ReadDataByte(&byte)) << i;
    EXPECT_EQ(byte, expected[i]) << i;
    EXPECT_EQ(Reader().Consumed(), consumedAfter[i]) << i;
    EXPECT_EQ(Reader().Ended(), i == 4) << i;
  }
  uint8_t byte = 0;
  EXPECT_FALSE(Reader().ReadDataByte(&byte));
  EXPECT_EQ(DataPosition(), 5) << "the byte after the record stays unread";
}

TEST_F(UpdateFile, RunCrossingTheRecordEndFailsWithinTheRecord) {
  uint8_t byte = 0;

  // A literal run of 2 needs 3 stored bytes; the record holds 2.
  LoadRecord(1, 0x0001, 2, Bytes({0x02, 0x10, 0x20}));
  EXPECT_FALSE(Reader().ReadDataByte(&byte));
  EXPECT_EQ(DataPosition(), 1);
  ASSERT_TRUE(Reader().SkipRecordRest());
  EXPECT_EQ(DataPosition(), 2) << "the skip still ends where the record ends";
}

TEST_F(UpdateFile, RepeatWhoseValueWouldBeTheNextRecordsFailsWithinTheRecord) {
  uint8_t byte = 0;
  LoadRecord(1, 0x0001, 1, Bytes({0x85, 0x41}));
  EXPECT_FALSE(Reader().ReadDataByte(&byte));
  EXPECT_EQ(DataPosition(), 1);
}

TEST_F(UpdateFile, VersionTokenMayFollowWhiteSpace) {
  LoadFile("xx Firmwareupdate-Fileformat- \tV1.01 trailing words\r\n00\r\n");
  std::string message;
  EXPECT_TRUE(ReadHeader(&message)) << message;
  EXPECT_EQ(state.formatVersion, 1);
}

TEST_F(UpdateFile, NamesKeepLeadingAndLoseTrailingWhiteSpace) {
  LoadFile("Firmwareupdate-Fileformat-V1.01\r\n03\r\n01 Main unit \t\r\n02Display\n03\r\n00");
  state.rows[1].mark.Set("2 *  ");
  std::string message;
  ASSERT_TRUE(ReadHeader(&message)) << message;
  EXPECT_EQ(state.rows[0].name.Get(), " Main unit");
  EXPECT_EQ(state.rows[1].name.Get(), "Display");
  EXPECT_EQ(state.rows[1].mark.Get(), "");
  EXPECT_EQ(state.rows[2].name.Get(), "");
}

TEST_F(UpdateFile, HexFieldsTakeDigitsOnly) {
  uint32_t value = 0;
  const std::string text = " \t\r\n12345 0x7 -1";
  const auto copy = UpdateFileCopy::FromBytes(reinterpret_cast<const uint8_t*>(text.data()),
                                              text.size());
  ASSERT_TRUE(copy);
  FileCursor file(*copy, 0);
  ASSERT_TRUE(ReadHexField(file, 2, &value));
  EXPECT_EQ(value, 0x12u);
  ASSERT_TRUE(ReadHexField(file, 8, &value));
  EXPECT_EQ(value, 0x345u);
  // No prefix: 0x7 is the field 0, and the x then stops the next one.
  ASSERT_TRUE(ReadHexField(file, 4, &value));
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(ReadHexField(file, 4, &value));
  EXPECT_EQ(file.Get(), 'x');
  ASSERT_TRUE(ReadHexField(file, 4, &value));
  EXPECT_FALSE(ReadHexField(file, 4, &value)) << "no sign";
  EXPECT_EQ(file.Get(), '-');
  ASSERT_TRUE(ReadHexField(file, 2, &value));
  EXPECT_FALSE(ReadHexField(file, 2, &value)) << "end of the file";
}

TEST_F(UpdateFile, SkipCoversTheUnreadStoredBytes) {
  LoadRecord(0, 0, 10, std::vector<uint8_t>(40, '0'));
  ASSERT_TRUE(Reader().SkipRecordRest());
  EXPECT_EQ(DataPosition(), 20);

  // Run-length data: decoded bytes still in the buffer are not in the file.
  LoadRecord(1, 0x0001, 6, Bytes({0x83, 0x41, 0x01, 0x42, 0x00, 0x00, 0x00}));
  uint8_t byte = 0;
  ASSERT_TRUE(Reader().ReadDataByte(&byte));
  ASSERT_TRUE(Reader().SkipRecordRest());
  EXPECT_EQ(DataPosition(), 6);
}

TEST_F(UpdateFile, ProgressInPercentOfTheStoredBytes) {
  LoadRecord(1, 0, 3, Bytes({0x11, 0x22, 0x33}));
  uint8_t byte = 0;
  ASSERT_TRUE(Reader().ReadDataByte(&byte));
  state.currentTarget = 2;
  ReportProgress(state, Reader());
  EXPECT_EQ(state.rows[2].percent.load(), 33);
  EXPECT_TRUE(state.refreshNeeded.load());
}

}  // namespace
