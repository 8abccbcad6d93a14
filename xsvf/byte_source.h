#pragma once
// Where the XSVF player reads its program from: in an update, the data of the
// update file's current record; elsewhere (tests, benchmarks, fuzzers), a buffer.

#include <cstdint>

class XsvfByteSource {
 public:
  virtual ~XsvfByteSource() = default;
  // The next byte of the program. False when there is none: the program's data
  // have ended, or could not be read.
  virtual bool ReadByte(uint8_t* byte) = 0;
};
