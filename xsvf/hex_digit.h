#pragma once
// The value of one hex digit, for every reader of hex text: the update file's
// hex fields and the XSVF text form alike.

namespace upd {

// The value of a hex digit (0-9, A-F, a-f), or -1 for any other character
// (EOF included).
constexpr int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace upd
