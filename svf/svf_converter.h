#pragma once
// SVF to XSVF: an SVF program turned, statement by statement, into an XSVF
// program that makes the JTAG port do what the SVF says when this product's
// player plays it. It reads and writes as it goes: memory does not grow with the
// file. The most it holds at once is a 64 KiB block of the text, one statement
// with its vectors of up to 7000 bytes each (a scan that the player holds in one
// piece), the vectors that scans keep for the next statement of their kind, and
// one piece of a longer scan; a longer scan's vectors stay in the text.
//
// What each statement becomes:
//
// - SIR, SDR: one scan, with the header (HIR/HDR) shifted first and the trailer
//   (TIR/TDR) last, so that the header's bits reach the devices nearest TDO. TDI,
//   MASK and SMASK persist from the last scan of the same kind until given again;
//   a new length needs TDI, and sets MASK and SMASK back to all ones. TDO is
//   compared only in the statement that gives it (a header's or trailer's TDO in
//   every scan until its next HIR/HDR/TIR/TDR), as the vendor tools read it.
//   SMASK marks TDI bits whose value does not matter: they are shifted as
//   written, one value as good as another.
// - A data scan of up to 56000 bits (the player's 7000-byte vector) is one
//   command: XSDRTDO (or XSDR) where it is compared, XSDRE where it is not
//   (svf/xsvf_writer.h); a wait in Run-Test/Idle right after a scan is its
//   XRUNTEST. A longer scan is split into pieces of 55808 bits (109 of the
//   device's 512-bit shift frames, so no frame is part full but the last):
//   XSDRB, XSDRC..., XSDRE; where it is compared, each piece a whole XSDRTDO
//   under its own mask (XSDRTDOB/C/E would compare every bit), the pieces
//   joined in Pause-DR, which the device passes without a capture or an update.
//   An instruction scan cannot be split: one longer than 56000 bits is refused.
// - The program grows at most 16 bytes for each byte of SVF read, and 1 MiB
//   more; beyond, the statement that crosses the bound is refused. Real programs
//   stay far below; a long header or trailer shifted again in every one of many
//   short scans would not.
// - XSVF cannot compare an instruction scan's TDO: it is shifted without the
//   check, and the conversion says so in a note.
// - A scan of 0 bits, header and trailer included, shifts nothing and moves
//   nothing.
// - ENDIR, ENDDR: the end state of later scans (svf/xsvf_writer.h).
// - STATE with one stable state: the player's route there, which is SVF's
//   default path. With a path: the path exactly, each XSTATE covering as many of
//   its states as the player's route passes on its own. A path may not stay in a
//   state for a clock (XSVF only moves between states).
// - RUNTEST: one XWAIT in the run state, then to the end state (a run state given
//   is also the end state until ENDSTATE says otherwise; both persist). The wait
//   is the longest of what the clock count takes and the minimum time, rounded
//   up to the microsecond: n TCK at the FREQUENCY in force take n / f seconds;
//   without a FREQUENCY they are timed at 1 MHz, 1 µs per clock, and a note says
//   so. An SCK count (the device's system clock, whose rate nothing states) needs
//   a time in SEC and waits that time. MAXIMUM is checked, not enforced: the
//   device waits the time it is given, so a wait longer than the MAXIMUM is
//   refused and any other meets it. A wait of 0 only moves the controller.
// - FREQUENCY: the clock rate for RUNTEST counts; XSVF itself has none.
// - TRST: XSVF has no reset line. TRST ON resets the TAP controller with TMS
//   (XSTATE RESET), which takes it where the reset line would; while TRST stays
//   ON, anything that would move the controller out of RESET or scan would need
//   the line held, and is refused. OFF, Z and ABSENT leave the controller alone.
// - PIO, PIOMAP: refused (svf/svf_reader.h).
//
// The player resets the controller before the first command, so the program
// starts in RESET and a STATE RESET there writes nothing.

#include <string>
#include <vector>

#include "svf/svf_input.h"
#include "svf/svf_lexer.h"

struct SvfConversion {
  bool ok = false;
  SvfMessage fault;  // what stopped it, when not ok
  // When ok: what the program does otherwise than the SVF asks, each with the
  // first place it happens and a message starting "note: ".
  std::vector<SvfMessage> notes;
};

// Converts the SVF in `svf`, writing the program to `xsvf` as it goes. On failure
// the bytes written so far are no usable program.
SvfConversion ConvertSvf(SvfInput& svf, XsvfOutput& xsvf);

// Converts the file at `svfPath` into a program file at `xsvfPath`, refusing
// to write over the SVF file itself (under any name). The program replaces a file
// at `xsvfPath` only once it is whole: on failure that file stays as it was, and
// where there was none, none is left.
SvfConversion ConvertSvfFile(const std::string& svfPath, const std::string& xsvfPath);
