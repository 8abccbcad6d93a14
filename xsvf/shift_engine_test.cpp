#include "xsvf/shift_engine.h"

#include <gmock/gmock.h>

#include "testsupport/player_test_fixture.h"
#include "xsvf/xsvf_run.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct ShiftFrame {
  uint8_t flags = 0;
  uint32_t bits = 0;
  std::vector<uint8_t> tdi;  // empty unless the frame carries it
};

// Undoes the run-length code of one vector of `count` bytes starting at `at`.
std::vector<uint8_t> DecodeVector(const std::vector<uint8_t>& payload, size_t& at, size_t count) {
  std::vector<uint8_t> vector;
  while (vector.size() < count) {
    const uint8_t code = payload.at(at++);
    if (code & 0x80) {
      vector.insert(vector.end(), code & 0x7F, payload.at(at++));
    } else {
      vector.insert(vector.end(), payload.begin() + at, payload.begin() + at + code);
      at += code;
    }
  }
  return vector;
}

class ShiftEngineTest : public PlayerTest {
 protected:
  std::vector<ShiftFrame> Shifts() const {
    std::vector<ShiftFrame> shifts;
    for (const auto& payload : PayloadsOf('S')) {
      ShiftFrame shift;
      shift.flags = payload.at(1);
      shift.bits = payload.at(2) << 8 | payload.at(3);
      size_t at = 4;
      if (shift.flags & 0x08) shift.tdi = DecodeVector(payload, at, (shift.bits + 7) / 8);
      shifts.push_back(shift);
    }
    return shifts;
  }

  static SBitVector Counting(int16_t length) {
    SBitVector vector;
    vector.length = length;
    for (int i = 0; i < length; ++i) vector.value[i] = static_cast<uint8_t>(i + 1);
    return vector;
  }

  static std::vector<uint8_t> Bytes(const SBitVector& vector, int first, int last) {
    return std::vector<uint8_t>(vector.value + first, vector.value + last + 1);
  }

  // Plays a one-byte compared shift that the device always reports mismatched.
  int PlayMismatch(int repeat, int runTestTime) {
    reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? 0x99 : 0x11; };
    capturedTdo = {0x5a};
    LoadProgram("XREPEAT " + std::to_string(repeat) + "\nXRUNTEST " +
                std::to_string(runTestTime) + "\nXSDRSIZE 8\nXSDRTDO 0x00 0xff\nXCOMPLETE\n");
    return Play();
  }
};

TEST_F(ShiftEngineTest, CutsShiftsInto512BitChunksFromTheLeastSignificantEnd) {
  SBitVector tdi = Counting(64);
  EXPECT_TRUE(ShiftChunks(cable, 512, ShiftVectors{&tdi}, true));
  ASSERT_EQ(Shifts().size(), 1u);
  EXPECT_EQ(Shifts()[0].flags, 0x0C);  // carries TDI, exits
  EXPECT_EQ(Shifts()[0].tdi, Bytes(tdi, 0, 63));

  payloads.clear();
  tdi = Counting(65);
  EXPECT_TRUE(ShiftChunks(cable, 513, ShiftVectors{&tdi}, true));
  auto shifts = Shifts();
  ASSERT_EQ(shifts.size(), 2u);
  EXPECT_EQ(shifts[0].bits, 512u);
  EXPECT_EQ(shifts[0].flags, 0x08);
  EXPECT_EQ(shifts[0].tdi, Bytes(tdi, 1, 64));
  EXPECT_EQ(shifts[1].bits, 1u);
  EXPECT_EQ(shifts[1].flags, 0x0C);
  EXPECT_EQ(shifts[1].tdi, Bytes(tdi, 0, 0));

  payloads.clear();
  tdi = Counting(125);
  EXPECT_TRUE(ShiftChunks(cable, 1000, ShiftVectors{&tdi}, true));
  shifts = Shifts();
  ASSERT_EQ(shifts.size(), 2u);
  EXPECT_EQ(shifts[0].bits, 512u);
  EXPECT_EQ(shifts[0].tdi, Bytes(tdi, 61, 124));  // bytes 62 to 125, counting from 1
  EXPECT_EQ(shifts[1].bits, 488u);
  EXPECT_EQ(shifts[1].tdi, Bytes(tdi, 0, 60));    // bytes 1 to 61
}

TEST_F(ShiftEngineTest, RetriesWithPauseDetourAndGrowingWaits) {
  EXPECT_EQ(PlayMismatch(3, 1000), XsvfMaxRetries);
  EXPECT_EQ(Shifts().size(), 4u);
  EXPECT_EQ(PayloadsOf('R').size(), 4u);  // each mismatch is read back
  EXPECT_THAT(Waits(), ElementsAre(1250u, 1562u, 1952u, 1952u));
  const std::string log = ReadLog();
  EXPECT_THAT(log, HasSubstr("   Retry #1\r\n"));
  EXPECT_THAT(log, HasSubstr("   Retry #3\r\n"));
  EXPECT_THAT(log, Not(HasSubstr("Retry #4")));
  EXPECT_THAT(log, HasSubstr(" TDO Expected = 0xff\r\n TDO Captured = 0x5a\r\n"
                             " TDO Mask     = 0x\r\n"));
  EXPECT_THAT(log, HasSubstr("ERROR:  TDO mismatch and exceeded max retries\r\n"));
}

TEST_F(ShiftEngineTest, WithoutRetriesTheFirstMismatchFails) {
  EXPECT_EQ(PlayMismatch(0, 1000), XsvfTdoMismatch);
  EXPECT_EQ(Shifts().size(), 1u);
}

TEST_F(ShiftEngineTest, WithoutWaitRetriesSkipThePauseDetour) {
  EXPECT_EQ(PlayMismatch(3, 0), XsvfMaxRetries);
  EXPECT_EQ(Shifts().size(), 4u);
  EXPECT_TRUE(Waits().empty());
  const std::string log = ReadLog();
  EXPECT_THAT(log, Not(HasSubstr("Retry")));
  EXPECT_THAT(log, Not(HasSubstr("DRPAUSE")));
}

// The retry counter must not wrap at the largest limit: 256 attempts, then error 3.
TEST_F(ShiftEngineTest, LargestRetryLimitStillEndsInMaxRetries) {
  EXPECT_EQ(PlayMismatch(255, 0), XsvfMaxRetries);
  EXPECT_EQ(Shifts().size(), 256u);
}

TEST_F(ShiftEngineTest, UnknownReplyFailsTheWholeShiftAtOnce) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? 0x55 : 0x11; };
  const std::string vector = "0x" + std::string(250, 'a');
  LoadProgram("XSDRSIZE 1000\nXSDRTDO " + vector + " " + vector + "\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfTdoMismatch);
  EXPECT_EQ(Shifts().size(), 1u);
  EXPECT_TRUE(PayloadsOf('R').empty());
}

// A program that compares before it sets a mask: every bit is compared, so that a
// device answering with other bits cannot pass the verify.
TEST_F(ShiftEngineTest, CompareBeforeAnyMaskChecksEveryBit) {
  LoadProgram("XSDRSIZE 12\nXSDRTDO 0x0000 0x0a5f\nXCOMPLETE\n");
  EXPECT_EQ(Play(), 0);
  const std::vector<std::vector<uint8_t>> shifts = PayloadsOf('S');
  ASSERT_EQ(shifts.size(), 1u);
  // Compare, masked, exit, with the TDI, expected and mask vectors; the mask all ones.
  EXPECT_EQ(shifts[0], (std::vector<uint8_t>{0x53, 0x3F, 0x00, 0x0C, 0x01, 0x00, 0x01, 0x00,
                                             0x02, 0x0A, 0x5F, 0x01, 0xFF, 0x01, 0xFF}));
}

TEST_F(ShiftEngineTest, ZeroBitShiftOnlyWaitsInRunTestIdle) {
  LoadProgram("XRUNTEST 100\nXSDRSIZE 0\nXSDR 0x\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), "BTF");  // start, reset and RESET -> RUNTEST/IDLE; wait; end
  EXPECT_EQ(TmsSteps(), "1111110");
  EXPECT_THAT(Waits(), ElementsAre(100u));
}

TEST_F(ShiftEngineTest, RefusesLengthsBeyondTheVectorsBeforeReadingThem) {
  const std::pair<const char*, int> cases[] = {
      {"XSDRSIZE 56000\nXCOMPLETE\n", XsvfOk},
      {"XSDRSIZE 56001\nXCOMPLETE\n", XsvfDataOverflow},
      {"XSDRSIZE 0x7fffffff\nXCOMPLETE\n", XsvfDataOverflow},
      {"XSDRSIZE 0x80000000\nXCOMPLETE\n", XsvfDataOverflow},  // negative as signed
      {"XSDRSIZE 0xffffffff\nXCOMPLETE\n", XsvfDataOverflow},
      {"XSIR2 56001 0x\nXCOMPLETE\n", XsvfDataOverflow},
      {"XSIR2 65535 0x\nXCOMPLETE\n", XsvfDataOverflow},
  };
  for (const auto& [text, expected] : cases) {
    LoadProgram(text);
    EXPECT_EQ(Play(), expected) << text;
  }
}

TEST_F(ShiftEngineTest, ShiftsTheLongestVector) {
  LoadProgram("XSDRSIZE 56000\nXSDRE 0x" + std::string(14000, '5') + "\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Shifts().size(), 110u);  // 109 chunks of 512 bits and one of 192
  EXPECT_EQ(Shifts().back().bits, 192u);
}

TEST_F(ShiftEngineTest, XSdrIncMergesEachPieceIntoTheAdvancedAddress) {
  LoadProgram("XSDRSIZE 8\nXSETSDRMASKS 0x01 0x0f\nXSDRINC 0x30 0x0a 0x05\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  const auto shifts = Shifts();
  ASSERT_EQ(shifts.size(), 3u);
  EXPECT_EQ(shifts[0].tdi, std::vector<uint8_t>{0x30});
  EXPECT_EQ(shifts[1].tdi, std::vector<uint8_t>{0x3a});  // 0x31, low nibble 1010
  EXPECT_EQ(shifts[2].tdi, std::vector<uint8_t>{0x35});  // 0x3b, low nibble 0101
}

TEST(VectorArithmeticTest, MergeTakesDataBitsFromTheLeastSignificantEnd) {
  SBitVector tdi, nextData, addressMask, dataMask;
  tdi.length = 2;
  tdi.value[0] = 0x00;
  tdi.value[1] = 0xF5;
  addressMask.length = 2;
  dataMask.length = 2;
  dataMask.value[0] = 0x81;
  dataMask.value[1] = 0x0F;
  nextData.length = 1;
  nextData.value[0] = 0x2A;  // 10 1010: bits 0-3 to the last byte, 4-5 to the first
  MergeNextData(tdi, nextData, addressMask, dataMask);
  EXPECT_EQ(tdi.value[1], 0xFA);
  EXPECT_EQ(tdi.value[0], 0x80);
}

TEST(VectorArithmeticTest, AddVectorsCarriesAndDropsTheFinalCarry) {
  SBitVector a, b, sum;
  a.length = b.length = 2;
  a.value[1] = 0xFF;
  b.value[1] = 0x01;
  AddVectors(sum, a, b);
  EXPECT_EQ(sum.length, 2);
  EXPECT_EQ(sum.value[0], 0x01);
  EXPECT_EQ(sum.value[1], 0x00);

  a.value[0] = 0xFF;
  AddVectors(sum, a, b);
  EXPECT_EQ(sum.value[0], 0x00);
  EXPECT_EQ(sum.value[1], 0x00);
}

}  // namespace
