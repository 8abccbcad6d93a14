#include "sim/device_crc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint16_t CrcOfText(const char* text) {
  return DeviceCrc16(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

TEST(DeviceCrc16, GivesTheKnownAnswers) {
  EXPECT_EQ(CrcOfText("123456789"), 0xFEE8);
  EXPECT_EQ(CrcOfText("abc"), 0xCADB);
  EXPECT_EQ(CrcOfText(""), 0x0000);
  // The frame of the end command 'F' carries 81 97.
  EXPECT_EQ(CrcOfText("F"), 0x8197);
  // The read answer of the byte A5: echo 'R', nibbles 0A 05, CRC B8 75.
  const uint8_t answer[] = {'R', 0x0A, 0x05};
  EXPECT_EQ(DeviceCrc16(answer, sizeof answer), 0xB875);
}

}  // namespace
