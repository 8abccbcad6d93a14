#include "svf/svf_vector.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<bool> Bits(const BitBuffer& buffer) {
  std::vector<bool> bits;
  for (uint64_t i = 0; i < buffer.Size(); ++i) bits.push_back(buffer.Bit(i));
  return bits;
}

TEST(BitBuffer, AppendsAtAnyBitAndListsMostSignificantFirst) {
  BitBuffer buffer;
  buffer.AppendBits(0b101, 3);
  buffer.AppendCopies(true, 10);
  buffer.AppendHeld({0x34, 0x12}, 4, 8);  // bits 4 to 11 of 0x1234: 0x23
  buffer.AppendCopies(false, 2);
  EXPECT_EQ(buffer.Size(), 23u);
  std::vector<uint8_t> vector;
  buffer.AppendXsvfVector(vector);
  // 00 00100011 1111111111 101
  EXPECT_EQ(vector, (std::vector<uint8_t>{0x04, 0x7F, 0xFD}));
  EXPECT_TRUE(buffer.AnySet());
  EXPECT_FALSE(buffer.AllSet());

  BitBuffer range;
  range.AppendRange(buffer, 3, 10);
  EXPECT_TRUE(range.AllSet());
  range.AppendHeld({0xFF}, 8, 3);  // beyond the value: zeros
  std::vector<bool> expected(13, true);
  expected[10] = expected[11] = expected[12] = false;
  EXPECT_EQ(Bits(range), expected);
}

// A vector left in the text, read in steps of every size, across blocks of text
// and the white space in it, and past its first digit.
TEST(VectorBitReader, ReadsAVectorFromItsTextInAnySteps) {
  std::mt19937 random(3);
  std::string text = "(";
  std::string digits;
  for (int i = 0; i < 40000; ++i) {
    digits += "0123456789abcdefABCDEF"[random() % 22];
    text += digits.back();
    if (i % 50 == 49) text += "\r\n\t ";
  }
  text += ")";
  SvfTextInput input(text);
  SvfVector vector;
  vector.kind = SvfVector::Kind::InText;
  vector.textBegin = 1;
  vector.textEnd = text.size() - 1;

  BitBuffer read;
  VectorBitReader reader(vector, input);
  const uint64_t total = digits.size() * 4 + 9;
  for (uint64_t step = 1, done = 0; done < total; ++step) {
    const uint64_t count = std::min<uint64_t>(step * step % 997 + 1, total - done);
    ASSERT_TRUE(reader.Read(count, read));
    done += count;
  }
  ASSERT_EQ(read.Size(), total);
  for (uint64_t i = 0; i < total; ++i) {
    const int value = i / 4 < digits.size() ? SvfHexDigit(digits[digits.size() - 1 - i / 4]) : 0;
    ASSERT_EQ(read.Bit(i), ((value >> (i % 4)) & 1) != 0) << i;
  }
}

}  // namespace
