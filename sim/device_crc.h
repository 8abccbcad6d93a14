#pragma once
// The device's own CRC-16 of its command frames and answers: polynomial 0x8005,
// most significant bit first, initial value 0, no reflection and no final
// exclusive-or (check value 0xFEE8 for the text 123456789). Table-driven, as a
// boot loader computes it; written apart from the host's bit-by-bit version so
// that a fault in one shows against the other.

#include <cstddef>
#include <cstdint>

uint16_t DeviceCrc16(const uint8_t* data, size_t length);
