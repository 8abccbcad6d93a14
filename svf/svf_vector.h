#pragma once
// The vectors of scan statements and the bits they stand for.
//
// SVF writes a vector in hex, most significant digit first, and a scan shifts its
// least significant bit first. A vector of a scan that the player can hold in one
// piece is held in memory; a vector of a longer scan stays in the input text, and
// its digits are read again from the last one backwards when the scan is
// converted, a piece at a time, so that no scan is ever held whole.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "svf/svf_input.h"
#include "xsvf/xsvf_interpreter.h"

// The longest vector the player holds: MAX_LEN bytes. Scans up to this length are
// held and shifted in one command; longer ones are split.
constexpr uint64_t kPlayerVectorBits = uint64_t{MAX_LEN} * 8;

struct SvfVector {
  enum class Kind { Zeros, Ones, Held, InText };
  Kind kind = Kind::Zeros;
  std::vector<uint8_t> held;  // Held: the value, least significant byte first
  uint64_t textBegin = 0;     // InText: the text between the parentheses
  uint64_t textEnd = 0;

  static SvfVector Ones() {
    SvfVector ones;
    ones.kind = Kind::Ones;
    return ones;
  }
};

// The value of each character as a hex digit, -1 for any other character: a
// table, since every digit of a vector passes through it, twice for a long one.
struct SvfHexDigitTable {
  int8_t values[256];
  constexpr SvfHexDigitTable() : values() {
    for (int c = 0; c < 256; ++c) {
      values[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                  : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                  : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                         : int8_t{-1};
    }
  }
};
inline constexpr SvfHexDigitTable kSvfHexDigits;
inline int SvfHexDigit(unsigned char c) { return kSvfHexDigits.values[c]; }

// Bits gathered least significant first: bit i is bit i % 8 of byte i / 8.
class BitBuffer {
 public:
  void Clear();
  uint64_t Size() const { return size; }
  bool Bit(uint64_t index) const { return (bytes[index / 8] >> (index % 8)) & 1; }
  bool AnySet() const;
  bool AllSet() const;

  // Appends the low `count` bits of `value`, lowest first (count at most 56).
  void AppendBits(uint64_t value, unsigned count);
  void AppendCopies(bool bit, uint64_t count);
  // Appends bits first to first + count - 1 of a value held least significant
  // byte first; bits beyond its bytes are 0.
  void AppendHeld(const std::vector<uint8_t>& value, uint64_t first, uint64_t count);
  // Appends bits first to first + count - 1 of another buffer.
  void AppendRange(const BitBuffer& other, uint64_t first, uint64_t count);

  // Appends the bits as an XSVF vector: (Size() + 7) / 8 bytes, most significant
  // first, the spare top bits 0.
  void AppendXsvfVector(std::vector<uint8_t>& out) const;

 private:
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
};

// Reads a vector's bits from bit 0 upward, in as many steps as the caller likes.
// For a vector left in the text it reads the digits backwards in blocks; past the
// first digit the value's bits are 0.
class VectorBitReader {
 public:
  VectorBitReader(const SvfVector& vector, SvfInput& input);

  // Appends the next `count` bits to `out`. False when the input cannot be read.
  bool Read(uint64_t count, BitBuffer& out);

 private:
  bool ReadDigits(uint64_t count, BitBuffer& out);
  // The next digit from the end, or -1 past the first one; -2 on a read failure.
  int NextDigit();
  bool LoadBlockBefore(uint64_t end);

  const SvfVector& vector;
  SvfInput& input;
  uint64_t position = 0;  // bits read so far
  // InText: the block of text read last, and the next character to look at in it
  // (counting down).
  std::vector<char> block;
  uint64_t blockStart = 0;
  size_t blockIndex = 0;
  // The bits of a digit not yet handed out (a read that ended inside a digit).
  uint32_t leftover = 0;
  unsigned leftoverBits = 0;
};
