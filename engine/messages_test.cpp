#include "engine/messages.h"

#include <gtest/gtest.h>

TEST(Messages, FormatsWithArguments) {
  EXPECT_EQ(FormatMessageText(MsgResult, 3, 4), "3 of 4 targets updated successfully.");
  EXPECT_EQ(FormatMessageText(MsgPortInUse, "COM3"), "Error: COM3 in use or does not exist.\n");
}

TEST(Messages, EveryIdFrom101To150HasAText) {
  for (int id = 101; id <= 150; ++id) EXPECT_STRNE(MessageText(id), "") << id;
  EXPECT_STREQ(MessageText(100), "");
  EXPECT_STREQ(MessageText(151), "");
}

TEST(Messages, EveryPlayerErrorHasItsMessage) {
  EXPECT_STREQ(XsvfErrorText(6), "data overflow");
  EXPECT_STREQ(XsvfErrorText(8), "debug file error");
  EXPECT_STREQ(XsvfErrorText(9), "file read error");
  EXPECT_STREQ(XsvfErrorText(10), "Failed: Target is not responding");
  EXPECT_STREQ(XsvfErrorText(11), "Failed: Target is not responding");
  EXPECT_STREQ(XsvfErrorText(13), "parameter error in function ReadTdoBitsequenz");
  EXPECT_STREQ(XsvfErrorText(14), "Failed: Target refused a TAP step or a wait");
  EXPECT_STREQ(XsvfErrorText(15), "unknown error");
  EXPECT_STREQ(XsvfErrorText(-1), "unknown error");
}
