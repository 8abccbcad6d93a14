#include "bench/bench_inputs.h"

#include <gtest/gtest.h>

#include "sim/jtag_executor.h"
#include "sim/scripted_chip.h"
#include "testsupport/simulated_play.h"

namespace {

TEST(BenchmarkProgram, PlaysToItsEndWithEveryComparisonPassing) {
  SimulatedPlay play(BenchmarkProgram(500));
  EXPECT_NEAR(static_cast<double>(play.Commands()), 500.0, kCommandsPerRow);
  play.Reset();
  ASSERT_EQ(play.Play(), 0);

  JtagExecutor& port = play.Port();
  const CableStatistics& shifts = port.Statistics();
  EXPECT_GT(shifts.comparedShifts, 0u);
  EXPECT_EQ(shifts.mismatches, 0u);
  // Every bit went where the program put it: the program is played as written.
  auto& chip = dynamic_cast<ScriptedChip&>(port.Chip());
  EXPECT_EQ(chip.UndescribedBits(), 0u);
  EXPECT_EQ(chip.CompletedScans(), chip.Scans().size());
}

TEST(BenchmarkProgram, SmallestProgramIsOneRow) {
  SimulatedPlay play(BenchmarkProgram(0));
  EXPECT_GT(play.Commands(), kCommandsPerRow);
  play.Reset();
  EXPECT_EQ(play.Play(), 0);
}

// Runs compare only when they send the same bytes.
TEST(FirmwareImage, IsTheSameEveryTimeAndHasErasedStretches) {
  const std::vector<uint8_t> image = MakeFirmwareImage(64 * 1024);
  ASSERT_EQ(image.size(), 64u * 1024);
  EXPECT_EQ(image, MakeFirmwareImage(64 * 1024));
  size_t longestErased = 0;
  size_t erased = 0;
  for (uint8_t byte : image) {
    erased = byte == 0xFF ? erased + 1 : 0;
    longestErased = std::max(longestErased, erased);
  }
  EXPECT_GE(longestErased, 16u);
}

}  // namespace
