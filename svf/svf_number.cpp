#include "svf/svf_number.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();
// Exponents beyond this are clamped: the value is then 0 or saturated either way.
constexpr int64_t kExponentLimit = 1000000000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Adds one mantissa digit; false when a nonzero digit falls beyond the
// significant digits kept.
bool AddDigit(int digit, bool afterPoint, int* significant, SvfNumber* number) {
  if (number->digits == 0 && digit == 0) {
    if (afterPoint) --number->exponent;  // a leading zero of the fraction
    return true;
  }
  if (*significant < kSvfNumberDigits) {
    number->digits = number->digits * 10 + static_cast<uint64_t>(digit);
    ++*significant;
    if (afterPoint) --number->exponent;
    return true;
  }
  // Beyond the digits kept only zeros may follow: they scale the whole part and
  // change nothing in the fraction.
  if (digit != 0) return false;
  if (!afterPoint) ++number->exponent;
  return true;
}

// Reads the exponent after E; false without digits.
bool ReadExponent(const std::string& text, size_t i, int64_t* exponent) {
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    value = std::min(kExponentLimit, value * 10 + (text[i] - '0'));
  }
  *exponent = negative ? -value : value;
  return true;
}

uint64_t PowerOfTen(int64_t power, bool* fits) {
  uint64_t value = 1;
  *fits = true;
  for (int64_t i = 0; i < power && *fits; ++i) {
    *fits = value <= kSaturated / 10;
    value *= 10;
  }
  return value;
}

}  // namespace

bool ParseSvfNumber(const std::string& text, SvfNumber* number) {
  *number = SvfNumber();
  int significant = 0;
  bool afterPoint = false;
  bool anyDigit = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      anyDigit = true;
      if (!AddDigit(c - '0', afterPoint, &significant, number)) return false;
    } else if (c == '.' && !afterPoint) {
      afterPoint = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (i == text.size()) return true;
  if (text[i] != 'E' && text[i] != 'e') return false;
  int64_t exponent = 0;
  if (!ReadExponent(text, i + 1, &exponent)) return false;
  number->exponent = std::clamp(number->exponent + exponent, -kExponentLimit, kExponentLimit);
  return true;
}

bool WholeValue(const SvfNumber& number, uint64_t* value) {
  if (number.digits == 0) {
    *value = 0;
    return true;
  }
  bool fits = true;
  if (number.exponent >= 0) {
    const uint64_t scale = PowerOfTen(number.exponent, &fits);
    if (!fits || number.digits > kSaturated / scale) return false;
    *value = number.digits * scale;
    return true;
  }
  const uint64_t scale = PowerOfTen(-number.exponent, &fits);
  if (!fits || number.digits % scale != 0) return false;
  *value = number.digits / scale;
  return true;
}

uint64_t ScaledCeiling(const SvfNumber& number, int64_t scale, const SvfNumber& divisor) {
  if (number.digits == 0) return 0;
  const int64_t power = number.exponent + scale - divisor.exponent;
  if (power < 0) {
    // digits / (divisor digits × 10^-power)
    bool fits = true;
    const uint64_t ten = PowerOfTen(-power, &fits);
    if (!fits || divisor.digits > kSaturated / ten) return 1;  // the divisor exceeds the digits
    const uint64_t denominator = divisor.digits * ten;
    return number.digits / denominator + (number.digits % denominator != 0 ? 1 : 0);
  }
  // Long division of digits × 10^power by the divisor's digits, one decimal place
  // at a time, so that nothing overflows before the result itself does.
  uint64_t quotient = number.digits / divisor.digits;
  uint64_t remainder = number.digits % divisor.digits;
  for (int64_t i = 0; i < power; ++i) {
    if (quotient > (kSaturated - 9) / 10) return kSaturated;
    remainder *= 10;  // below 10 × divisor digits < 10^19: fits
    quotient = quotient * 10 + remainder / divisor.digits;
    remainder %= divisor.digits;
  }
  return quotient + (remainder != 0 ? 1 : 0);
}
