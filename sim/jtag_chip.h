#pragma once
// A chip behind the simulated JTAG port, seen the way its TAP controller drives it
// (sim/tap_controller.h): the controller calls Capture, Shift and Update of the
// instruction or data register at the clock edges where IEEE 1149.1 has them happen,
// Reset when it enters Test-Logic-Reset, and RunTestIdle for the time the port
// rests in Run-Test/Idle.
//
// Bit order: the first bit shifted in ends up in bit 0 of the register once the
// whole register has been shifted, and bit 0 is the first bit to leave on TDO.

#include <cstdint>

enum class ScanKind : uint8_t { Instruction, Data };

class JtagChip {
 public:
  virtual ~JtagChip() = default;

  // Test-Logic-Reset: the instruction register gets its reset instruction.
  virtual void Reset() = 0;
  // Parallel load of the register selected for this kind of scan.
  virtual void Capture(ScanKind kind) = 0;
  // One shift towards TDO: tdi enters at the top, and the returned bit (the one
  // that TDO showed before the clock edge) leaves at bit 0.
  virtual bool Shift(ScanKind kind, bool tdi) = 0;
  // The register's new contents take effect.
  virtual void Update(ScanKind kind) = 0;
  // The port rested this long in Run-Test/Idle (the time chips run operations in).
  virtual void RunTestIdle(uint32_t microseconds) { (void)microseconds; }
};
