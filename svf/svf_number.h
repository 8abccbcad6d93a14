#pragma once
// Decimal numbers as SVF writes them (20, 1E6, 1.00E-02), kept exactly: their
// significant digits and a power of ten. Waits computed from them come out to
// the microsecond without binary rounding (1.00E-02 SEC is 10000 µs, not 10001).

#include <cstdint>
#include <string>

struct SvfNumber {
  uint64_t digits = 0;   // the significant digits as a whole number
  int64_t exponent = 0;  // the value is digits × 10^exponent
};

// At most this many significant digits (trailing zeros do not count): enough for
// any count, time or frequency, and exact in 64 bits.
constexpr int kSvfNumberDigits = 18;

// Reads digits, an optional fraction and an optional exponent (E or e, with an
// optional sign). False if the text is not such a number or has too many digits.
bool ParseSvfNumber(const std::string& text, SvfNumber* number);

// The number as a whole number; false if it has a fraction or does not fit.
bool WholeValue(const SvfNumber& number, uint64_t* value);

// The number times 10^scale divided by `divisor` (above 0), rounded up; UINT64_MAX
// when the result does not fit. Seconds to microseconds: scale 6, divisor 1; a
// clock count to microseconds at a frequency in Hz: scale 6, divisor the frequency.
uint64_t ScaledCeiling(const SvfNumber& number, int64_t scale, const SvfNumber& divisor);
