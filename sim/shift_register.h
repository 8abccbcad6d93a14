#pragma once
// A register of a simulated chip as its scans see it: loaded in parallel, then
// shifted one bit at a time from the top towards bit 0. Kept as a ring of bits
// with a moving start, so a shift costs the same whatever the register's length.

#include <cstddef>
#include <vector>

class ShiftRegister {
 public:
  // bits[i] becomes bit i; bit 0 is the first to leave.
  void Load(std::vector<bool> bits) {
    ring = std::move(bits);
    start = 0;
  }

  // tdi enters at the top; returns the bit that left at bit 0.
  bool Shift(bool tdi) {
    if (ring.empty()) return tdi;  // never loaded: holds nothing, passes TDI on
    const bool out = ring[start];
    ring[start] = tdi;
    start = (start + 1) % ring.size();
    return out;
  }

  // The contents, bit i at index i.
  std::vector<bool> Contents() const {
    std::vector<bool> bits(ring.size());
    for (size_t i = 0; i < ring.size(); ++i) bits[i] = ring[(start + i) % ring.size()];
    return bits;
  }

 private:
  std::vector<bool> ring;
  size_t start = 0;
};
