#pragma once
// XSVF programs looked at without a device.
//
// CheckXsvfProgram reads a program as the player reads it, with the player's own
// readers and rules, in constant memory (one state record, whatever the program's
// size or number of commands): what it passes plays to its end unless the device
// fails it. An update checks every JTAG target with it before the device is
// touched.
//
// ParseXsvfProgram takes a program apart into its commands, one object each: the
// operand sizes follow the same rules the player reads by (XSDRSIZE sets the data
// length, XSDRINC's pieces follow the data mask). The tools use it to list and
// assemble programs, and the device simulator to know what a program will shift.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xsvf/byte_source.h"

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

// What reading a program as the player does, without the device, found.
struct XsvfProgramCheck {
  // 0, or the error code the player stops on whatever the device does: 4 an
  // unsupported command, 5 an illegal state (XSTATE, XENDIR, XENDDR, XWAIT), 6 a
  // length beyond the vectors, 9 the program ends before XCOMPLETE.
  int32_t error = 0;
  // Commands read, the failing one included (as the debug log counts them).
  int32_t commands = 0;
  uint8_t command = 0;       // code of the last command read
  size_t commandOffset = 0;  // program offset of that command's code
  bool inOperands = false;   // error 9: the data end within the last command
  size_t bytesAfterComplete = 0;  // read to the end of the data, never played
};

// Reads the program to XCOMPLETE (and the bytes after it to their end), tracking
// what the player tracks: the data length and masks, the end states, the run-test
// time and the TAP state, which decides whether a move is legal.
XsvfProgramCheck CheckXsvfProgram(XsvfByteSource& program);
XsvfProgramCheck CheckXsvfProgram(const uint8_t* data, size_t size);
