#include "tools/soak/soak_faults.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/scenario.h"

namespace {

// Two firmware targets of 5 and 3 blocks, then a JTAG target.
UpdateShape SampleShape() {
  UpdateShape shape;
  shape.targets = 3;
  shape.firmwareBlocks = {5, 3};
  shape.hasJtag = true;
  shape.frames = 40;
  shape.comparedShifts = 6;
  shape.waits = 4;
  return shape;
}

// How often the point of a device fault occurs in one clean update of the shape.
uint32_t Occurrences(FaultPoint point, const UpdateShape& shape) {
  switch (point) {
    case FaultPoint::Wake: return 5;  // at least five probes are answered
    case FaultPoint::Start: return 1;
    case FaultPoint::Selection: return shape.targets;
    case FaultPoint::Block: return shape.TotalBlocks();
    case FaultPoint::Frame: return shape.frames > 0 ? shape.frames - 1 : 0;  // not the closing one
    case FaultPoint::Shift: return shape.comparedShifts;
    case FaultPoint::Wait: return shape.waits;
    default: return 0;
  }
}

TEST(SoakFaultsTest, EveryDrawnFaultStrikesWithinTheUpdateAndExpectsAnOutcome) {
  for (const UpdateShape& shape : {SampleShape(), [] {
         UpdateShape firmwareOnly = SampleShape();
         firmwareOnly.hasJtag = false;
         firmwareOnly.frames = 0;
         firmwareOnly.comparedShifts = 0;
         firmwareOnly.waits = 0;
         firmwareOnly.targets = 2;
         return firmwareOnly;
       }()}) {
    SoakRandom random(1);
    std::set<std::string> kinds;
    for (int i = 0; i < 2000; ++i) {
      const SoakFault fault = DrawFault(random, shape);
      kinds.insert(fault.kind);
      ASSERT_FALSE(fault.expected.statusLines.empty()) << fault.deviceFault;
      if (fault.kind == "none") {
        EXPECT_TRUE(fault.deviceFault.empty());
        continue;
      }
      DeviceConfig config;
      std::string error;
      ASSERT_TRUE(ApplyFaultOption(fault.deviceFault, config, &error))
          << fault.deviceFault << ": " << error;
      const Fault& parsed = config.faults.back();
      EXPECT_GE(parsed.index, 1u) << fault.deviceFault;
      EXPECT_LE(parsed.index, Occurrences(parsed.point, shape)) << fault.deviceFault;
      // A deaf device must leave a request unanswered that is not the closing 'F',
      // whose loss is only a warning.
      if (fault.kind == "deaf" && parsed.point == FaultPoint::Frame) {
        EXPECT_LE(parsed.index, shape.frames - 2) << fault.deviceFault;
      }
    }
    // Without JTAG there are neither mismatches nor waits to refuse.
    EXPECT_EQ(kinds.size(), shape.hasJtag ? FaultKinds().size() : FaultKinds().size() - 2);
  }
}

// In real time a busy device is only given up after a minute: those faults would
// outlast the soak's time-out for an update.
TEST(SoakFaultsTest, RealTimeLeavesOutWhatOnlyTheBusyLimitEnds) {
  SoakRandom random(3);
  std::set<std::string> kinds;
  for (int i = 0; i < 2000; ++i) {
    const SoakFault fault = DrawFault(random, SampleShape(), true);
    kinds.insert(fault.kind);
    EXPECT_NE(fault.kind, "stuck");
    EXPECT_EQ(fault.deviceFault.find(":0x33"), std::string::npos) << fault.deviceFault;
  }
  EXPECT_EQ(kinds.count("flood"), 1u);
}

TEST(SoakFaultsTest, ASeedReplaysTheSameFaults) {
  SoakRandom first(42);
  SoakRandom second(42);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(DrawFault(first, SampleShape()).deviceFault,
              DrawFault(second, SampleShape()).deviceFault);
  }
}

TEST(SoakFaultsTest, OnlyTheLastBlockOfATargetEndsItInTime) {
  const UpdateShape shape = SampleShape();
  EXPECT_EQ(shape.TotalBlocks(), 8u);
  EXPECT_FALSE(shape.IsLastBlockOfTarget(4));
  EXPECT_TRUE(shape.IsLastBlockOfTarget(5));
  EXPECT_FALSE(shape.IsLastBlockOfTarget(6));
  EXPECT_TRUE(shape.IsLastBlockOfTarget(8));
}

}  // namespace
