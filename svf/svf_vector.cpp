#include "svf/svf_vector.h"

#include <algorithm>

namespace {

// How much of a long vector's text is read back at a time.
constexpr uint64_t kBlockBytes = 64 * 1024;
// AppendBits takes at most this many bits, so that they fit a 64-bit word after
// a shift of up to 7.
constexpr unsigned kMaxAppendBits = 56;

uint64_t LowBits(uint64_t value, unsigned count) {
  return count >= 64 ? value : value & ((uint64_t{1} << count) - 1);
}

// Bits first to first + count - 1 (count at most 56) of bytes held least
// significant first; 0 beyond them.
uint64_t GatherBits(const uint8_t* bytes, size_t byteCount, uint64_t first, unsigned count) {
  const uint64_t start = first / 8;
  uint64_t word = 0;
  for (uint64_t i = 0; i < 8 && start + i < byteCount; ++i) {
    word |= uint64_t{bytes[start + i]} << (8 * i);
  }
  return LowBits(word >> (first % 8), count);
}

}  // namespace


void BitBuffer::Clear() {
  bytes.clear();
  size = 0;
}

bool BitBuffer::AnySet() const {
  return std::any_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte != 0; });
}

bool BitBuffer::AllSet() const {
  const uint64_t whole = size / 8;
  for (uint64_t i = 0; i < whole; ++i) {
    if (bytes[i] != 0xFF) return false;
  }
  const unsigned rest = size % 8;
  return rest == 0 || bytes[whole] == LowBits(0xFF, rest);
}

void BitBuffer::AppendBits(uint64_t value, unsigned count) {
  if (count == 0) return;
  value = LowBits(value, count) << (size % 8);
  size_t index = static_cast<size_t>(size / 8);
  size += count;
  bytes.resize(static_cast<size_t>((size + 7) / 8));
  for (; value != 0; value >>= 8) bytes[index++] |= static_cast<uint8_t>(value);
}

void BitBuffer::AppendCopies(bool bit, uint64_t count) {
  if (!bit) {
    size += count;
    bytes.resize(static_cast<size_t>((size + 7) / 8));
    return;
  }
  for (; count > 0 && size % 8 != 0; --count) AppendBits(1, 1);
  bytes.resize(bytes.size() + static_cast<size_t>(count / 8), 0xFF);
  size += count / 8 * 8;
  AppendBits(~uint64_t{0}, static_cast<unsigned>(count % 8));
}

void BitBuffer::AppendHeld(const std::vector<uint8_t>& value, uint64_t first, uint64_t count) {
  if (first % 8 == 0 && size % 8 == 0) {
    // Whole bytes line up: copy them.
    const uint64_t start = std::min<uint64_t>(first / 8, value.size());
    const uint64_t whole = std::min<uint64_t>(count / 8, value.size() - start);
    bytes.insert(bytes.end(), value.begin() + static_cast<ptrdiff_t>(start),
                 value.begin() + static_cast<ptrdiff_t>(start + whole));
    size += whole * 8;
    first += whole * 8;
    count -= whole * 8;
  }
  while (count > 0) {
    const unsigned take = static_cast<unsigned>(std::min<uint64_t>(count, kMaxAppendBits));
    AppendBits(GatherBits(value.data(), value.size(), first, take), take);
    first += take;
    count -= take;
  }
}

void BitBuffer::AppendRange(const BitBuffer& other, uint64_t first, uint64_t count) {
  while (count > 0) {
    const unsigned take = static_cast<unsigned>(std::min<uint64_t>(count, kMaxAppendBits));
    AppendBits(GatherBits(other.bytes.data(), other.bytes.size(), first, take), take);
    first += take;
    count -= take;
  }
}

void BitBuffer::AppendXsvfVector(std::vector<uint8_t>& out) const {
  out.insert(out.end(), bytes.rbegin(), bytes.rend());
}

VectorBitReader::VectorBitReader(const SvfVector& vector, SvfInput& input)
    : vector(vector), input(input), blockStart(vector.textEnd) {}

bool VectorBitReader::Read(uint64_t count, BitBuffer& out) {
  position += count;
  switch (vector.kind) {
    case SvfVector::Kind::Zeros:
      out.AppendCopies(false, count);
      return true;
    case SvfVector::Kind::Ones:
      out.AppendCopies(true, count);
      return true;
    case SvfVector::Kind::Held:
      out.AppendHeld(vector.held, position - count, count);
      return true;
    case SvfVector::Kind::InText:
      return ReadDigits(count, out);
  }
  return false;
}

bool VectorBitReader::ReadDigits(uint64_t count, BitBuffer& out) {
  const unsigned fromLeftover = static_cast<unsigned>(std::min<uint64_t>(count, leftoverBits));
  out.AppendBits(leftover, fromLeftover);
  leftover >>= fromLeftover;
  leftoverBits -= fromLeftover;
  count -= fromLeftover;
  while (count > 0) {
    // Up to 14 digits at a time into one word.
    uint64_t word = 0;
    unsigned bits = 0;
    int digit = 0;
    while (bits < kMaxAppendBits && bits < count) {
      digit = NextDigit();
      if (digit < 0) break;
      word |= uint64_t(digit) << bits;
      bits += 4;
    }
    if (digit == -2) return false;
    if (bits > count) {
      // The last digit reaches past this read: keep its upper bits for the next.
      leftoverBits = bits - static_cast<unsigned>(count);
      leftover = static_cast<uint32_t>(word >> count);
      bits = static_cast<unsigned>(count);
    }
    out.AppendBits(word, bits);
    count -= bits;
    if (digit == -1) {
      out.AppendCopies(false, count);  // past the first digit
      return true;
    }
  }
  return true;
}

int VectorBitReader::NextDigit() {
  for (;;) {
    while (blockIndex > 0) {
      const int value = SvfHexDigit(static_cast<unsigned char>(block[--blockIndex]));
      if (value >= 0) return value;  // anything else is white space
    }
    if (blockStart == vector.textBegin) return -1;
    if (!LoadBlockBefore(blockStart)) return -2;
  }
}

bool VectorBitReader::LoadBlockBefore(uint64_t end) {
  const uint64_t start = end - vector.textBegin > kBlockBytes ? end - kBlockBytes : vector.textBegin;
  block.resize(static_cast<size_t>(end - start));
  if (input.ReadAt(start, block.data(), block.size()) != static_cast<int64_t>(block.size())) {
    return false;
  }
  blockStart = start;
  blockIndex = block.size();
  return true;
}
