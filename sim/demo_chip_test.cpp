#include "sim/demo_chip.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/tap_controller.h"

namespace {

using Bits = std::vector<bool>;

Bits NumberBits(int width, uint64_t value) {
  Bits bits(width);
  for (int i = 0; i < width; ++i) bits[i] = (value >> i) & 1;
  return bits;
}

// Drives the chip through its TAP controller as a player would: every scan starts
// and ends in Run-Test/Idle. (The sample program's play test covers reads and the
// page register.)
class DemoChipTest : public ::testing::Test {
 protected:
  DemoChipTest() { tap.Clock(false, false); }  // Test-Logic-Reset to Run-Test/Idle

  Bits Scan(ScanKind kind, const Bits& tdi) {
    const std::vector<bool> toShift =
        kind == ScanKind::Instruction ? Bits{true, true, false, false} : Bits{true, false, false};
    for (bool tms : toShift) tap.Clock(tms, false);
    Bits tdo;
    for (size_t i = 0; i < tdi.size(); ++i) tdo.push_back(tap.Clock(i + 1 == tdi.size(), tdi[i]));
    tap.Clock(true, false);   // Update
    tap.Clock(false, false);  // Run-Test/Idle
    return tdo;
  }

  void Instruction(uint8_t opcode) { Scan(ScanKind::Instruction, NumberBits(DemoChip::kIrLength, opcode)); }
  Bits WordScan(uint8_t address, uint32_t data) {
    return Scan(ScanKind::Data, NumberBits(DemoChip::kWordRegisterLength, uint64_t{address} << 32 | data));
  }

  DemoChip chip;
  TapController tap{chip};
};

TEST_F(DemoChipTest, IdentifiesItselfAndBypassesUnknownInstructions) {
  EXPECT_EQ(Scan(ScanKind::Data, Bits(32)), NumberBits(32, DemoChip::kIdcode));  // after reset
  EXPECT_EQ(Scan(ScanKind::Instruction, NumberBits(8, 0x7E)), NumberBits(8, 0x01));
  // One bypass bit: it shows 0, then the TDI one clock late.
  EXPECT_EQ(Scan(ScanKind::Data, Bits{true, false, true}), (Bits{false, true, false}));
}

TEST_F(DemoChipTest, OperationsRunOnlyForTheirTimeInRunTestIdle) {
  chip.Words().fill(0);
  Instruction(DemoChip::Erase);
  tap.Wait(DemoChip::kEraseMicroseconds - 1);
  EXPECT_EQ(chip.Words()[0], 0u);
  for (bool tms : {true, false, true, false}) tap.Clock(tms, false);  // to Pause-DR
  tap.Wait(DemoChip::kEraseMicroseconds);  // does not count
  for (bool tms : {true, true, false}) tap.Clock(tms, false);  // back to Run-Test/Idle
  EXPECT_EQ(chip.Words()[0], 0u);
  tap.Wait(1);
  EXPECT_EQ(chip.Words()[DemoChip::kWords - 1], 0xFFFFFFFFu);

  Instruction(DemoChip::Program);
  WordScan(5, 0x0F0F00FF);
  tap.Wait(DemoChip::kProgramMicroseconds);
  WordScan(5, 0xFFFF0F00);  // programming only clears bits
  tap.Wait(DemoChip::kProgramMicroseconds);
  EXPECT_EQ(chip.Words()[5], 0x0F0F0000u);
  EXPECT_EQ(chip.CompletedOperations(), 3u);

  WordScan(6, 0);
  WordScan(7, 0);  // before the word at 6 had its time
  WordScan(DemoChip::kWords, 0);  // beyond the memory
  tap.Wait(DemoChip::kProgramMicroseconds);
  EXPECT_EQ(chip.Words()[6], 0xFFFFFFFFu);
  EXPECT_EQ(chip.Words()[7], 0xFFFFFFFFu);
  WordScan(8, 0);
  for (int i = 0; i < 3; ++i) tap.Clock(true, false);  // Test-Logic-Reset
  EXPECT_EQ(chip.DiscardedOperations(), 4u);
  EXPECT_EQ(chip.CurrentInstruction(), DemoChip::Idcode);
}

}  // namespace
