#pragma once
// A program for the XSVF player held in memory, for tests, benchmarks and fuzzers.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "xsvf/byte_source.h"

class MemoryByteSource : public XsvfByteSource {
 public:
  MemoryByteSource() = default;
  explicit MemoryByteSource(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}

  bool ReadByte(uint8_t* byte) override {
    if (position == bytes.size()) return false;
    *byte = bytes[position++];
    return true;
  }

  // Starts the program over, with new bytes or the same ones.
  void Load(std::vector<uint8_t> newBytes) {
    bytes = std::move(newBytes);
    position = 0;
  }
  void Rewind() { position = 0; }

  // Bytes read so far.
  size_t Position() const { return position; }
  size_t Size() const { return bytes.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes; }

 private:
  std::vector<uint8_t> bytes;
  size_t position = 0;
};
