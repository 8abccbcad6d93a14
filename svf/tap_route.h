#pragma once
// The TAP controller as the converter needs to know it: its states by their SVF
// names, its transitions (IEEE 1149.1), and the route the XSVF player takes when a
// program moves it to a state.
//
// The player's routes are fixed: Shift and Pause states are left at once, Capture
// goes on to Shift only when Shift is the target, Exit1 goes to Pause only when
// Pause is the target, a move between the data and instruction columns passes
// through an Update state and DRSELECT, and a move to RESET holds TMS high for six
// clocks. Between stable states these are the routes SVF takes by default. Two
// consequences the converter minds: from a Pause state the player goes on to the
// same register's Shift state through Exit2, without passing Capture; and a move
// to the Pause state it is in leaves it and comes back round through Capture.

#include <optional>
#include <string>
#include <vector>

#include "xsvf/xsvf_interpreter.h"

// The state an SVF name stands for (RESET, IDLE, DRSELECT, ... IRUPDATE; case
// does not matter).
std::optional<TapState> TapStateFromSvfName(const std::string& name);
const char* SvfStateName(TapState state);

// The states a statement may leave the controller in: RESET, IDLE, DRPAUSE and
// IRPAUSE.
bool IsStableState(TapState state);

// The state after one clock with TMS at `tms`.
TapState NextTapState(TapState state, bool tms);

// Whether one clock takes the controller from `from` to `to`.
bool IsTapStep(TapState from, TapState to);

// The states the player passes on its way from `from` to `to`, `to` last. Empty
// when it is there already, unless `to` is a Pause state, which it leaves and
// re-enters. A move to RESET ends at the first RESET (the rest of its six clocks
// keep the controller there). Empty for an Exit2 state entered from anywhere but
// its Pause state, a move the player refuses.
std::vector<TapState> PlayerRoute(TapState from, TapState to);
