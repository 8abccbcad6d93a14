#include "sim/jtag_executor.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/command_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Records the TDI bits shifted into it and answers with a repeating TDO pattern.
class RecordingChip : public JtagChip {
 public:
  void Reset() override {}
  void Capture(ScanKind) override {}
  bool Shift(ScanKind, bool tdi) override {
    shiftedIn.push_back(tdi);
    return !tdo.empty() && tdo[next++ % tdo.size()];
  }
  void Update(ScanKind) override {}

  std::vector<bool> tdo;
  size_t next = 0;
  std::vector<bool> shiftedIn;
};

// Bits of a vector in the order they are shifted: bit 0 of the last byte first.
std::vector<bool> ShiftOrder(const Bytes& vector, size_t bits) {
  std::vector<bool> order;
  for (size_t i = 0; i < bits; ++i) order.push_back((vector[vector.size() - 1 - i / 8] >> (i % 8)) & 1);
  return order;
}

class JtagExecutorTest : public ::testing::Test {
 protected:
  JtagExecutorTest() {
    auto owned = std::make_unique<RecordingChip>();
    chip = owned.get();
    executor = std::make_unique<JtagExecutor>(std::move(owned));
  }

  CableResult Run(const Bytes& payload) { return executor->Execute(payload.data(), payload.size()); }

  void ToShiftDr() {
    ASSERT_EQ(Run({'B', 0x00, 0x01, 0x11, 0x10, 0x01, 0x11, 0x00, 0x01, 0x11, 0x00, 0x01, 0x11}).reply,
              0x11);
    ASSERT_EQ(executor->Tap().State(), JtagState::ShiftDr);
  }

  RecordingChip* chip = nullptr;
  std::unique_ptr<JtagExecutor> executor;
};

TEST_F(JtagExecutorTest, LevelFramesDriveTheTap) {
  EXPECT_EQ(Run({'B', 0x10}).reply, 0x11);  // the start of a run: TMS high, no clock
  EXPECT_EQ(Run({'B', 0x10, 0x01, 0x11}).reply, 0x11);
  EXPECT_EQ(executor->Tap().State(), JtagState::TestLogicReset);
  EXPECT_EQ(Run({'B', 0x00, 0x01, 0x11, 0x11}).reply, 0x11);  // TCK already high: one edge
  EXPECT_EQ(executor->Tap().State(), JtagState::RunTestIdle);
  EXPECT_EQ(executor->Tap().RisingEdges(), 2u);
}

TEST_F(JtagExecutorTest, ShiftsDecodedVectorsFromTheLastByteUp) {
  ToShiftDr();
  EXPECT_EQ(Run({'S', 0x08, 0x00, 0x0C, 0x02, 0x0A, 0x5C}).reply, 0x11);
  EXPECT_EQ(executor->Tap().State(), JtagState::ShiftDr);
  // No TDI in the frame: the one received last; the exit flag leaves Shift-DR.
  EXPECT_EQ(Run({'S', 0x04, 0x00, 0x0C}).reply, 0x11);
  EXPECT_EQ(executor->Tap().State(), JtagState::Exit1Dr);
  Run({'B', 0x00, 0x01, 0x11, 0x10, 0x01, 0x11, 0x00, 0x01, 0x11});  // Pause, Exit2, Shift
  EXPECT_EQ(Run({'S', 0x08, 0x00, 0x38, 0x01, 0x01, 0x85, 0x02, 0x01, 0x03}).reply, 0x11);
  EXPECT_EQ(Run({'S', 0x08, 0x02, 0x00, 0xC0, 0xFF}).reply, 0x11);  // 512 bits of ones

  std::vector<bool> expected = ShiftOrder({0x0A, 0x5C}, 12);
  expected.insert(expected.end(), expected.begin(), expected.end());
  const std::vector<bool> coded = ShiftOrder({0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x03}, 56);
  expected.insert(expected.end(), coded.begin(), coded.end());
  expected.resize(expected.size() + 512, true);
  EXPECT_EQ(chip->shiftedIn, expected);
  EXPECT_EQ(executor->Statistics().bitsShifted, expected.size());
}

TEST_F(JtagExecutorTest, ComparesTdoUnderTheMaskAndReadsItBack) {
  chip->tdo = ShiftOrder({0x3C, 0xA5}, 16);
  ToShiftDr();
  EXPECT_EQ(Run({'S', 0x19, 0x00, 0x10, 0x02, 0x00, 0x00, 0x02, 0x3C, 0xA5}).reply, 0x11);
  // Expected bit 0 wrong: a mismatch, unless the mask leaves bit 0 out.
  EXPECT_EQ(Run({'S', 0x11, 0x00, 0x10, 0x02, 0x3C, 0xA4}).reply, 0x99);
  EXPECT_EQ(Run({'S', 0x23, 0x00, 0x10, 0x02, 0xFF, 0xFE}).reply, 0x11);
  // The cached expected vector and mask serve frames that leave them out.
  EXPECT_EQ(Run({'S', 0x03, 0x00, 0x10}).reply, 0x11);
  EXPECT_EQ(Run({'S', 0x01, 0x00, 0x10}).reply, 0x99);

  const CableResult read = Run({'R', 0x00, 0x10});
  EXPECT_EQ(read.reply, 0x11);
  const Bytes body = {0x00, 0x07, 'R', 0x03, 0x0C, 0x0A, 0x05};
  ASSERT_EQ(read.answer.size(), body.size() + 2);
  EXPECT_EQ(Bytes(read.answer.begin(), read.answer.end() - 2), body);
  uint16_t check = 0;
  for (size_t i = 2; i < read.answer.size(); ++i) check = Crc16Step(check, read.answer[i]);
  EXPECT_EQ(check, 0);

  // More bits than the last shift captured: the rest read as 0.
  const CableResult longer = Run({'R', 0x00, 0x18});
  EXPECT_EQ(Bytes(longer.answer.begin() + 3, longer.answer.end() - 2), Bytes({0, 0, 3, 0xC, 0xA, 5}));

  // A forced mismatch strikes the next compared shift only.
  executor->ForceMismatchOnNextCompare();
  EXPECT_EQ(Run({'S', 0x00, 0x00, 0x10}).reply, 0x11);
  EXPECT_EQ(Run({'S', 0x03, 0x00, 0x10}).reply, 0x99);
  EXPECT_EQ(Run({'S', 0x03, 0x00, 0x10}).reply, 0x11);
  EXPECT_EQ(executor->Statistics().comparedShifts, 7u);
  EXPECT_EQ(executor->Statistics().mismatches, 3u);
}

TEST_F(JtagExecutorTest, RejectsUnusablePayloadsAndChangesNothing) {
  ToShiftDr();
  ASSERT_EQ(Run({'S', 0x08, 0x00, 0x10, 0x02, 0x12, 0x34}).reply, 0x11);
  chip->shiftedIn.clear();
  const uint64_t edges = executor->Tap().RisingEdges();
  Bytes tooManyLevels(101, 0x11);
  tooManyLevels[0] = 'B';
  const Bytes rejected[] = {
      {'B'},
      {'B', 0x10, 0x01, 0x11, 0x21},                    // a level byte for port 1 at level 2
      {'B', 0x10, 0x01, 0x11, 0x02},                    // port 2
      tooManyLevels,
      {'S', 0x08, 0x00, 0x10, 0x00, 0xAA, 0xBB},        // code 0
      {'S', 0x08, 0x00, 0x10, 0x41, 0xAA, 0xBB},        // literal above 64
      {'S', 0x08, 0x00, 0x10, 0x83, 0xAA},              // run below 4
      {'S', 0x08, 0x02, 0x00, 0xC1, 0xAA},              // run above 64
      {'S', 0x08, 0x00, 0x10, 0x03, 0xAA, 0xBB, 0xCC},  // more bytes than the vector has
      {'S', 0x08, 0x00, 0x10, 0x84, 0xAA},              // a run longer than the vector
      {'S', 0x08, 0x00, 0x10, 0x02, 0xAA},              // cut short
      {'S', 0x08, 0x00, 0x10, 0x02, 0xAA, 0xBB, 0x00},  // a byte left over
      {'S', 0x48, 0x00, 0x10, 0x02, 0xAA, 0xBB},        // an undefined flag
      {'S', 0x02, 0x00, 0x10},                          // a mask without a comparison
      {'S', 0x00, 0x02, 0x01},                          // 513 bits
      {'S', 0x00, 0x00},                                // no bit count
      {'R', 0x02, 0x01},                                // read of 513 bits
      {'R', 0x00},
      {'T', 0x00, 0x00, 0x03},
      {'F', 0x00},
      {'X'},
      {},
  };
  for (const Bytes& payload : rejected) EXPECT_EQ(Run(payload).reply, 0x22);
  EXPECT_EQ(executor->Statistics().rejected, std::size(rejected));
  EXPECT_TRUE(chip->shiftedIn.empty());
  EXPECT_EQ(executor->Tap().RisingEdges(), edges);

  // The vector of the last good shift is still the one kept.
  EXPECT_EQ(Run({'S', 0x00, 0x00, 0x10}).reply, 0x11);
  EXPECT_EQ(chip->shiftedIn, ShiftOrder({0x12, 0x34}, 16));
}

TEST_F(JtagExecutorTest, WaitsAndEnds) {
  const CableResult wait = Run({'T', 0x00, 0x01, 0x00, 0x00});
  EXPECT_EQ(wait.reply, 0x11);
  EXPECT_EQ(wait.waitMicroseconds, 65536u);
  const CableResult end = Run({'F'});
  EXPECT_EQ(end.reply, 0x44);
  EXPECT_TRUE(end.ended);
}

}  // namespace
