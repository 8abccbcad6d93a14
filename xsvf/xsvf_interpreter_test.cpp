#include "xsvf/xsvf_interpreter.h"

#include <gtest/gtest.h>

#include "testsupport/player_test_fixture.h"

namespace {

TEST(BytesForBitsTest, NeverOverflows) {
  EXPECT_EQ(BytesForBits(56001), 7001);
  EXPECT_EQ(BytesForBits(INT32_MAX), 268435456);
}

using InterpreterTest = PlayerTest;

TEST_F(InterpreterTest, NothingIsReadOnceTheProgramHasCompleted) {
  LoadProgram("XCOMPLETE\n.bytes 0x00\n");
  auto info = std::make_unique<SXsvfInfo>();
  EXPECT_EQ(StepCommand(*info, io), XsvfOk);
  EXPECT_EQ(info->complete, 1);
  EXPECT_EQ(StepCommand(*info, io), XsvfOk);
  EXPECT_EQ(info->commandCount, 1);
  EXPECT_EQ(program.Position(), 1u);
}

}  // namespace
