#pragma once
// What the two directions of the XSVF text form (xsvf/xsvf_text.h) share: the
// operands each command takes, the directive of raw bytes, and quoted text.

#include <cstddef>
#include <cstdint>
#include <string>

namespace upd {

// The operands of a command code (below kXsvfCommandCount), one letter per operand:
//   v        a vector
//   1, 2, 4  a big-endian number of that many bytes
//   s        a TAP state (1 byte)
//   t        text with its terminating 0 byte
//   p        XSDRINC's data pieces: the count byte, then that many vectors
const char* XsvfOperandLayout(int code);

// The directive of raw bytes, written as they stand.
constexpr const char* kXsvfBytesDirective = ".bytes";

// Bytes as quoted text: \\ \" \n \r \t escaped, other bytes outside printable
// ASCII as \xNN.
std::string QuotedXsvfText(const uint8_t* bytes, size_t count);

}  // namespace upd
