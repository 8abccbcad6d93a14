#pragma once
// An XSVF program taken apart into its commands without playing it: the operand
// sizes follow the same rules the player reads by (XSDRSIZE sets the data length,
// XSDRINC's pieces follow the data mask). Used to check, list and assemble
// programs, and by the device simulator to know what a program will shift.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct XsvfInstruction {
  uint8_t code = 0;
  size_t offset = 0;              // byte offset of the command code in the program
  std::vector<uint8_t> operands;  // the operand bytes, in program order
  // The operands cut into the format's fields, in order: for example XSIR is
  // {1, (n + 7) / 8}, XSDRTDO {L, L}, XSDRINC {L, 1, then one size per piece},
  // XWAIT {1, 1, 4}, XCOMMENT one field with the terminating 0.
  std::vector<size_t> fieldSizes;
};

struct XsvfProgram {
  std::vector<XsvfInstruction> commands;  // up to and including XCOMPLETE
  // Bytes after XCOMPLETE (never played). When parsing fails: every byte from the
  // code of the failing command on, which the player never gets past.
  std::vector<uint8_t> trailing;
};

// Parses a program. False with *error (what is wrong and at which byte offset and
// command number) when a command code is not supported, an operand runs past the
// end, a length exceeds the player's limits, or XCOMPLETE is missing. On failure
// *program still holds the commands before the failing one.
bool ParseXsvfProgram(const uint8_t* data, size_t size, XsvfProgram* program,
                      std::string* error);
