#include "svf/tap_route.h"

#include <algorithm>
#include <cctype>

#include "xsvf/tap_navigation.h"

namespace {

const char* const kSvfStateNames[kTapStateCount] = {
    "RESET",   "IDLE",    "DRSELECT", "DRCAPTURE", "DRSHIFT",  "DREXIT1",
    "DRPAUSE", "DREXIT2", "DRUPDATE", "IRSELECT",  "IRCAPTURE", "IRSHIFT",
    "IREXIT1", "IRPAUSE", "IREXIT2",  "IRUPDATE",
};

// The player's step from `from` towards `to` (not RESET, not `from` itself).
TapState PlayerStep(TapState from, TapState to) {
  return static_cast<TapState>(NextTapStep(from, to).next);
}

}  // namespace

std::optional<TapState> TapStateFromSvfName(const std::string& name) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  for (int state = 0; state < kTapStateCount; ++state) {
    if (upper == kSvfStateNames[state]) return static_cast<TapState>(state);
  }
  return std::nullopt;
}

const char* SvfStateName(TapState state) { return kSvfStateNames[state]; }

bool IsStableState(TapState state) {
  return state == TapReset || state == TapIdle || state == TapDrPause || state == TapIrPause;
}

TapState NextTapState(TapState state, bool tms) {
  switch (state) {
    case TapReset: return tms ? TapReset : TapIdle;
    case TapIdle: return tms ? TapDrSelect : TapIdle;
    case TapDrSelect: return tms ? TapIrSelect : TapDrCapture;
    case TapDrCapture: return tms ? TapDrExit1 : TapDrShift;
    case TapDrShift: return tms ? TapDrExit1 : TapDrShift;
    case TapDrExit1: return tms ? TapDrUpdate : TapDrPause;
    case TapDrPause: return tms ? TapDrExit2 : TapDrPause;
    case TapDrExit2: return tms ? TapDrUpdate : TapDrShift;
    case TapDrUpdate: return tms ? TapDrSelect : TapIdle;
    case TapIrSelect: return tms ? TapReset : TapIrCapture;
    case TapIrCapture: return tms ? TapIrExit1 : TapIrShift;
    case TapIrShift: return tms ? TapIrExit1 : TapIrShift;
    case TapIrExit1: return tms ? TapIrUpdate : TapIrPause;
    case TapIrPause: return tms ? TapIrExit2 : TapIrPause;
    case TapIrExit2: return tms ? TapIrUpdate : TapIrShift;
    case TapIrUpdate: return tms ? TapDrSelect : TapIdle;
  }
  return TapReset;
}

bool IsTapStep(TapState from, TapState to) {
  return NextTapState(from, false) == to || NextTapState(from, true) == to;
}

std::vector<TapState> PlayerRoute(TapState from, TapState to) {
  std::vector<TapState> route;
  if (to == TapReset) {
    // TMS high: at most five clocks reach RESET from anywhere.
    do {
      from = NextTapState(from, true);
      route.push_back(from);
    } while (from != TapReset);
    return route;
  }
  if ((to == TapDrExit2 && from != TapDrPause) || (to == TapIrExit2 && from != TapIrPause)) {
    return route;
  }
  if (from == to && (to == TapDrPause || to == TapIrPause)) {
    from = NextTapState(from, true);  // out to Exit2, then round
    route.push_back(from);
  }
  while (from != to) {
    from = PlayerStep(from, to);
    route.push_back(from);
  }
  return route;
}
