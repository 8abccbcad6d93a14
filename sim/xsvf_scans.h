#pragma once
// The scans an XSVF program makes the JTAG port perform, worked out from the
// program's bytes alone, with the device's own reading of the format: for every
// instruction-register and data-register shift, its length, the TDI bits, the
// TDO it expects and where it compares.
//
// One scan per shifting command, except that a data shift the program leaves in
// Shift-DR (XSDRB, XSDRC, XSDRTDOB, XSDRTDOC) runs on into the next data shift, so
// a split scan (XSDRB, XSDRC..., XSDRE) is one scan. XSDRINC gives one scan for
// its first TDI and one per data piece merged into it. Shifts of 0 bits are no
// scans. XSDR and XSDRINC expect the TDO of the last XSDRTDO/XSDRTDOx under the
// last XTDOMASK; XSDRTDOB/C/E compare every bit; the rest compare nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/jtag_chip.h"

struct XsvfScan {
  ScanKind kind = ScanKind::Data;
  size_t command = 0;          // number, from 1, of the command that starts it
  std::vector<bool> tdi;       // bit i is the i-th bit shifted in
  std::vector<bool> tdo;       // the TDO expected (0 where nothing is compared)
  std::vector<bool> mask;      // true where TDO is compared
};

// The scans of a program up to its XCOMPLETE. False with *error (what and at
// which byte) when the program cannot be read that far.
bool DescribeScans(const std::vector<uint8_t>& program, std::vector<XsvfScan>* scans,
                   std::string* error);

// Bits 0 to bitCount - 1 of a vector of byteCount bytes whose last byte holds bit
// 0, as the format stores vectors.
std::vector<bool> VectorBits(const uint8_t* bytes, size_t byteCount, size_t bitCount);
