#include "sim/device_crc.h"

#include <array>

namespace {

constexpr uint16_t kPolynomial = 0x8005;

// The CRC of each byte value on its own: the byte in the high end of the
// register, shifted out bit by bit.
constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    uint16_t crc = static_cast<uint16_t>(value << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
    }
    table[value] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t DeviceCrc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ data[i]) & 0xFF]);
  }
  return crc;
}
