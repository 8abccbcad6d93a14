#include "svf/svf_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

SvfNumber Number(const std::string& text) {
  SvfNumber number;
  EXPECT_TRUE(ParseSvfNumber(text, &number)) << text;
  return number;
}

TEST(SvfNumber, ReadsTheFormsSvfWrites) {
  const struct {
    const char* text;
    uint64_t digits;
    int64_t exponent;
  } forms[] = {
      {"20", 20, 0},     {"1E6", 1, 6},      {"1.00E-02", 100, -4}, {"0.001", 1, -3},
      {"1e+3", 1, 3},    {".5", 5, -1},      {"5.", 5, 0},          {"007", 7, 0},
      {"0", 0, 0},       {"2.5E6", 25, 5},
      // Zeros beyond the 18 digits kept scale the number or are dropped.
      {"1000000000000000000000", 100000000000000000, 4},
      {"1.0000000000000000000000", 100000000000000000, -17},
  };
  for (const auto& form : forms) {
    const SvfNumber number = Number(form.text);
    EXPECT_EQ(number.digits, form.digits) << form.text;
    EXPECT_EQ(number.exponent, form.exponent) << form.text;
  }
  for (const char* text : {"", "E5", "1E", "1E+", "1.2.3", "-1", "+1", "1E5x", "0x10", "1 ",
                           "1234567890123456789", "1.2345678901234567891"}) {
    SvfNumber number;
    EXPECT_FALSE(ParseSvfNumber(text, &number)) << text;
  }
}

TEST(SvfNumber, WholeValues) {
  uint64_t value = 0;
  EXPECT_TRUE(WholeValue(Number("1.00E+02"), &value));
  EXPECT_EQ(value, 100u);
  EXPECT_TRUE(WholeValue(Number("1.8E19"), &value));
  EXPECT_EQ(value, 18000000000000000000u);
  EXPECT_FALSE(WholeValue(Number("1.9E19"), &value));
  EXPECT_FALSE(WholeValue(Number("1.5"), &value));
  EXPECT_FALSE(WholeValue(Number("1E-30"), &value));
  EXPECT_TRUE(WholeValue(Number("0E-30"), &value));
  EXPECT_EQ(value, 0u);
}

// Waits come out exact to the microsecond, rounded up, or saturated.
TEST(SvfNumber, ScaledCeilingIsExact) {
  const SvfNumber one = Number("1");
  EXPECT_EQ(ScaledCeiling(Number("1.00E-02"), 6, one), 10000u);
  EXPECT_EQ(ScaledCeiling(Number("1E-7"), 6, one), 1u);
  EXPECT_EQ(ScaledCeiling(Number("0"), 6, one), 0u);
  EXPECT_EQ(ScaledCeiling(Number("20"), 6, Number("1E6")), 20u);
  EXPECT_EQ(ScaledCeiling(Number("7"), 6, Number("2.5E6")), 3u);
  EXPECT_EQ(ScaledCeiling(Number("1"), 6, Number("3")), 333334u);
  EXPECT_EQ(ScaledCeiling(Number("3"), 6, Number("3")), 1000000u);
  EXPECT_EQ(ScaledCeiling(Number("1"), 6, Number("1E30")), 1u);
  EXPECT_EQ(ScaledCeiling(Number("1E30"), 6, one), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(ScaledCeiling(Number("18446744073709"), 6, one), 18446744073709000000u);
  EXPECT_EQ(ScaledCeiling(Number("18446744073710"), 6, one), std::numeric_limits<uint64_t>::max());
}

}  // namespace
