#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/jtag_chip.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Scenario, ReadsTargetsDelayAndFaults) {
  std::istringstream text(
      "# a device with two units of its main board\n"
      "switch-on 250\n"
      "\n"
      "target 01 firmware 2\n"
      "target 0x02 firmware 3 2\n"
      "target 03 firmware silent\n"
      "target 05 jtag\n"
      "fault busy block 3 x5\n"
      "fault reply select 1 0x5a x3\n"
      "fault mismatch shift 7\n"
      "fault refuse wait 2\n"
      "fault flood start 1 0x33\n"
      "fault stuck block 4\n"
      "fault deaf levels 3\n");
  DeviceConfig config;
  std::string error;
  ASSERT_TRUE(ReadScenario(text, config, &error)) << error;
  EXPECT_EQ(config.switchOnDelayMs, 250u);
  ASSERT_EQ(config.targets.size(), 4u);
  EXPECT_EQ(config.targets[0].queryAnswers, Bytes{2});
  EXPECT_EQ(config.targets[1].queryAnswers, (Bytes{3, 2}));
  EXPECT_TRUE(config.targets[2].queryAnswers.empty());
  EXPECT_TRUE(config.targets[3].jtag);
  EXPECT_TRUE(config.targets[3].makeChip() != nullptr);
  ASSERT_EQ(config.faults.size(), 7u);
  EXPECT_EQ(config.faults[0].kind, FaultKind::Busy);
  EXPECT_EQ(config.faults[0].point, FaultPoint::Block);
  EXPECT_EQ(config.faults[0].index, 3u);
  EXPECT_EQ(config.faults[0].count, 5u);
  EXPECT_EQ(config.faults[1].byte, 0x5A) << "extras in any order";
  EXPECT_EQ(config.faults[1].count, 3u);
  EXPECT_EQ(config.faults[3].kind, FaultKind::Refuse);
  EXPECT_EQ(config.faults[3].point, FaultPoint::Wait);
  EXPECT_EQ(config.faults[4].kind, FaultKind::Flood);
  EXPECT_EQ(config.faults[4].byte, 0x33);
  EXPECT_EQ(config.faults[5].kind, FaultKind::Stuck);
  EXPECT_EQ(config.faults[6].kind, FaultKind::Deaf);
  EXPECT_EQ(config.faults[6].point, FaultPoint::Levels);
}

TEST(Scenario, CommandLineFormsMatchTheLines) {
  DeviceConfig config;
  std::string error;
  ASSERT_TRUE(ApplyTargetOption("02:firmware:3:2", config, &error)) << error;
  ASSERT_TRUE(ApplyTargetOption("05:jtag:demo", config, &error)) << error;
  ASSERT_TRUE(ApplyFaultOption("noise:wake:1:x2:0x01", config, &error)) << error;
  EXPECT_EQ(config.targets[0].queryAnswers, (Bytes{3, 2}));
  EXPECT_TRUE(config.targets[1].jtag);
  EXPECT_EQ(config.faults[0].count, 2u);
  EXPECT_EQ(config.faults[0].byte, 0x01);
  // A script chip's file name follows its own colon.
  EXPECT_FALSE(ApplyTargetOption("06:jtag:script:no-such-file.xsvf", config, &error));
  EXPECT_NE(error.find("no-such-file.xsvf"), std::string::npos) << error;
}

TEST(Scenario, RejectsWhatItCannotUse) {
  const char* bad[] = {
      "fault mismatch block 1",  // a mismatch only strikes at a compared shift
      "fault end frame 1",       // an early end only at a block
      "fault refuse block 1",    // refusals only of JTAG frames
      "fault stuck shift 1",
      "fault busy block 0",      // occurrences count from 1
      "fault busy block 2 x0",
      "fault busy block 2 y3",
      "target 00 firmware",      // 00 ends the records: no target has it
      "target 100 firmware",
      "target 01 firmware 256",
      "target 01 jtag flash",
  };
  for (const char* line : bad) {
    DeviceConfig config;
    std::string error;
    EXPECT_FALSE(ApplyScenarioLine(line, config, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
  // One device cannot hold two targets of one id, however the second is spelled.
  DeviceConfig twice;
  std::string twiceError;
  ASSERT_TRUE(ApplyScenarioLine("target 01 firmware", twice, &twiceError)) << twiceError;
  EXPECT_FALSE(ApplyTargetOption("0x01:jtag", twice, &twiceError));
  EXPECT_EQ(twiceError, "target id 0x01 is given twice: each target needs an id of its own");
  EXPECT_EQ(twice.targets.size(), 1u);
  EXPECT_FALSE(twice.targets[0].jtag);
  std::istringstream text("switch-on 10\nfault busy nowhere 1\n");
  DeviceConfig config;
  std::string error;
  EXPECT_FALSE(ReadScenario(text, config, &error));
  EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
}

}  // namespace
