#pragma once
// Writes an XSVF program a command at a time, keeping track of what the player
// holds after each one: its TAP state, the end states of shifts, the data length,
// the TDO mask and the expected TDO. So it writes only what changes something:
// XENDIR, XENDDR, XSDRSIZE and XTDOMASK when their value changes, and no move to
// a state the player is in.
//
// A data scan compared somewhere is XSDRTDO, or XSDR when the player holds its
// expected TDO already. A data scan compared nowhere is XSDRE: a shift from the
// player's state through Capture into Shift-DR and on to the end state, which
// sends the device the TDI alone. (XSDR would compare against the expected TDO
// the player holds, under an all-zero mask that has to be written first, and send
// the device both again whenever the shift length has changed since.)
//
// It never writes XREPEAT: the player starts without retries, which is what SVF
// means (a mismatch ends the run). A wait in Run-Test/Idle right after a scan
// that ends there or in its Pause state (SVF's "SDR ...; RUNTEST 10 TCK;") is the
// scan's run-test time: XRUNTEST, written when it changes, makes the player wait
// after the shift, on the route an XWAIT would take, one command fewer per scan.
// So a shift is written only once the writer knows what follows it.
//
// Every scan passes Capture, as SVF scans do: when the player is in the Pause
// state of the register to be scanned, it would go on to Shift through Exit2 and
// shift without capturing, so the writer first moves it to Capture (XSTATE
// DRCAPTURE or IRCAPTURE: the five clocks through Exit2, Update, Select and
// Capture into Shift that SVF takes).
//
// A scan ends in a stable state. The player ends shifts in Run-Test/Idle or the
// register's Pause state; any other end (RESET, the other register's Pause state)
// is reached from the Pause state with one more XSTATE. That passes Pause and
// Exit2 on the way, which change nothing, rather than a clock in Run-Test/Idle,
// where some devices act.

#include <cstdint>
#include <optional>
#include <vector>

#include "svf/svf_input.h"
#include "svf/svf_vector.h"
#include "xsvf/xsvf_interpreter.h"

class XsvfWriter {
 public:
  explicit XsvfWriter(XsvfOutput& output);

  // The player's TAP state: RESET at the start, where the player puts the
  // controller before the first command.
  TapState State() const { return state; }
  // False once a byte could not be written; nothing more is written then.
  bool Ok() const { return ok; }

  // XSTATE `target`: the player takes its route there (svf/tap_route.h), also
  // when it is there already.
  void WriteState(TapState target);
  // XSTATE `target` unless the player is there.
  void MoveTo(TapState target);
  // XWAIT: to `wait` (unless there), `microseconds`, then to `end` (unless there);
  // or the run-test time of the shift just before.
  void Wait(TapState wait, TapState end, uint32_t microseconds);

  // An instruction scan of up to kPlayerVectorBits bits, ending in `end`.
  void ShiftInstruction(const BitBuffer& tdi, TapState end);
  // A data scan of up to kPlayerVectorBits bits in one command, ending in `end`:
  // compared under `mask` against `expected` when the mask has a bit set.
  void ShiftData(const BitBuffer& tdi, const BitBuffer& expected, const BitBuffer& mask,
                 TapState end);

  // One piece of a data scan compared nowhere, split over several commands: the
  // first and middle pieces leave the player in Shift-DR (XSDRB, XSDRC), the last
  // ends the scan in `end` (XSDRE).
  enum class Piece { First, Middle, Last };
  void ShiftDataPiece(Piece piece, const BitBuffer& tdi, TapState end);
  // One piece of a compared data scan too long for one command: a whole shift
  // of its own (XSDRTDO or XSDR under the piece's mask, XSDRE where the piece
  // compares nothing). The pieces before the last end in Pause-DR, from where the
  // next goes on through Exit2 into Shift-DR without a capture or an update, so
  // the device sees one scan; the last ends it in `end`. A mask costs the same
  // whatever its runs, and a piece that repeats (a long header's, scan after
  // scan) sends only its TDI again.
  void ShiftComparedPiece(bool first, bool last, const BitBuffer& tdi, const BitBuffer& expected,
                          const BitBuffer& mask, TapState end);

  // XCOMPLETE.
  void Complete();

 private:
  // A data shift from the player's state into Shift-DR: XSDRE, or XSDRTDO or XSDR
  // under the mask, ending in `shiftEnd`, then on to `end`.
  void DataShift(const BitBuffer& tdi, const BitBuffer& expected, const BitBuffer& mask,
                 TapState shiftEnd, TapState end);
  // Writes the pending shift with this run-test time.
  void Flush(uint32_t runTest);
  // Makes the shift in `scratch` pending, the player then in `shiftEnd`, and
  // moves on to the scan's `end`.
  void Shift(TapState shiftEnd, TapState end);
  // Writes a command; Encode only puts it into `scratch`.
  void Command(XsvfCommand code, std::initializer_list<const std::vector<uint8_t>*> operands = {});
  void Encode(XsvfCommand code, std::initializer_list<const std::vector<uint8_t>*> operands);
  void Write(const std::vector<uint8_t>& bytes);
  void PrepareCapture(TapState pause, TapState capture);
  // The end state a shift takes for the scan's `end`: Run-Test/Idle or `pause`.
  TapState ShiftEnd(TapState end, TapState pause) const;
  void SetEndState(XsvfCommand code, bool toPause, bool* current);
  void SetDataLength(uint64_t bits);
  void SetMask(const std::vector<uint8_t>& mask);

  XsvfOutput& output;
  bool ok = true;
  TapState state = TapReset;
  bool irEndsInPause = false;
  bool drEndsInPause = false;
  uint64_t dataBits = 0;
  uint32_t runTestTime = 0;
  // A shift written once the next command is known; it leaves the player in
  // `state`.
  std::optional<std::vector<uint8_t>> pending;
  // What XTDOMASK and the last command that read an expected TDO left in the
  // player, as program bytes. Only those commands change them, and the player
  // lines them up with a shift's TDI byte for byte: they serve a later shift whose
  // vector is the same, length included.
  std::optional<std::vector<uint8_t>> mask;
  std::optional<std::vector<uint8_t>> expected;
  std::vector<uint8_t> scratch;
};
