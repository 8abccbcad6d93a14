#pragma once
// TAP controller navigation: the player keeps its own copy of the target's TAP
// state and moves the real controller by single TMS steps, each one 'B' frame of
// port levels (TMS, TCK low, TCK high) that the device applies to its JTAG pins.
//
// Paths are fixed: Shift and Pause states are left at once, Capture goes straight
// to Shift only when Shift is the target, Exit1 goes to Pause only when Pause is
// the target, and a move between the data and instruction columns passes through
// an Update state and DRSELECT. A move to RESET is always the full reset sequence
// (TMS high for six clocks); a move from a Pause state to itself leaves it and
// comes back round through Update, Select, Capture and Exit1.

#include <cstdint>

#include "link/jtag_cable.h"
#include "xsvf/debug_log.h"
#include "xsvf/xsvf_interpreter.h"

// TAP state names as the debug log prints them ("Unknown" above 15).
const char* TapStateName(int state);

// One step of a move: the TMS level and the state it leads to.
struct TapStep {
  uint8_t tms;
  uint8_t next;
};

// The player's step from `current` (a state up to 15) toward `target`, on the
// fixed paths above; a program converted for the player can follow its moves.
TapStep NextTapStep(uint8_t current, uint8_t target);

// Logs the player's copy of the TAP state.
void LogTapState(XsvfDebugLog& log, uint8_t state);

// One TAP step with the given TMS level: one 'B' frame.
void ClockTms(JtagCable& cable, uint8_t level);

// Clears the record and resets the TAP controller; returns `errorCode`.
int InitPlayer(SXsvfInfo& info, XsvfIo& io);

// Whether MoveTap goes from `from` to `target`: target is a TAP state (0 to 15),
// and an Exit2 state is entered only from its own Pause state.
bool IsLegalMove(uint8_t from, uint8_t target);

// Moves the controller from tapState to target, updating tapState after every
// step. Returns 0, or 5 without any step for a move that is not legal.
int MoveTap(XsvfIo& io, uint8_t& tapState, uint8_t target);

// XSTATE: moves to the state given by the operand.
int DoXState(SXsvfInfo& info, XsvfIo& io);

// The operand of XENDIR and XENDDR: 0 or 1.
inline bool IsEndStateOperand(uint8_t operand) { return operand <= 1; }

// XENDIR and XENDDR: operand 0 ends later shifts in RUNTEST/IDLE, 1 in the Pause
// state of the register; any other operand is an illegal state (5).
int DoXEndState(SXsvfInfo& info, XsvfIo& io);
