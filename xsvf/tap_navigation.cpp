#include "xsvf/tap_navigation.h"

namespace {

const char* const kStateNames[kTapStateCount] = {
    "RESET",    "RUNTEST/IDLE", "DRSELECT", "DRCAPTURE", "DRSHIFT",   "DREXIT1",
    "DRPAUSE",  "DREXIT2",      "DRUPDATE", "IRSELECT",  "IRCAPTURE", "IRSHIFT",
    "IREXIT1",  "IRPAUSE",      "IREXIT2",  "IRUPDATE",
};

// Clocks after the first TMS-high step of the reset sequence: six clocks with TMS
// high reach Test-Logic-Reset from any state.
constexpr int kResetExtraClocks = 5;

void ClockTmsStep(XsvfIo& io, uint8_t& tapState, uint8_t tms, uint8_t next) {
  ClockTms(io.cable, tms);
  tapState = next;
  LogTapState(io.log, tapState);
}

void SendResetSequence(XsvfIo& io, uint8_t& tapState) {
  ClockTms(io.cable, 1);
  for (int i = 0; i < kResetExtraClocks; ++i) {
    io.cable.SetPortLevel(PortTck, 0, false);
    io.cable.SetPortLevel(PortTck, 1, true);
  }
  tapState = TapReset;
  io.log.Log(3, "   TMS Reset Sequence -> Test-Logic-Reset\n");
  LogTapState(io.log, tapState);
}

}  // namespace

bool IsLegalMove(uint8_t from, uint8_t target) {
  if (target >= kTapStateCount) return false;
  if (target == from || target == TapReset) return true;
  return !(target == TapDrExit2 && from != TapDrPause) &&
         !(target == TapIrExit2 && from != TapIrPause);
}

TapStep NextTapStep(uint8_t current, uint8_t target) {
  switch (current) {
    case TapReset: return {0, TapIdle};
    case TapIdle: return {1, TapDrSelect};
    case TapDrSelect: return target >= TapIrSelect ? TapStep{1, TapIrSelect} : TapStep{0, TapDrCapture};
    case TapDrCapture: return target == TapDrShift ? TapStep{0, TapDrShift} : TapStep{1, TapDrExit1};
    case TapDrShift: return {1, TapDrExit1};
    case TapDrExit1: return target == TapDrPause ? TapStep{0, TapDrPause} : TapStep{1, TapDrUpdate};
    case TapDrPause: return {1, TapDrExit2};
    case TapDrExit2: return target == TapDrShift ? TapStep{0, TapDrShift} : TapStep{1, TapDrUpdate};
    case TapDrUpdate: return target == TapIdle ? TapStep{0, TapIdle} : TapStep{1, TapDrSelect};
    case TapIrSelect: return {0, TapIrCapture};
    case TapIrCapture: return target == TapIrShift ? TapStep{0, TapIrShift} : TapStep{1, TapIrExit1};
    case TapIrShift: return {1, TapIrExit1};
    case TapIrExit1: return target == TapIrPause ? TapStep{0, TapIrPause} : TapStep{1, TapIrUpdate};
    case TapIrPause: return {1, TapIrExit2};
    case TapIrExit2: return target == TapIrShift ? TapStep{0, TapIrShift} : TapStep{1, TapIrUpdate};
    default: return target == TapIdle ? TapStep{0, TapIdle} : TapStep{1, TapDrSelect};  // IRUPDATE
  }
}

const char* TapStateName(int state) {
  return state >= 0 && state < kTapStateCount ? kStateNames[state] : "Unknown";
}

void LogTapState(XsvfDebugLog& log, uint8_t state) {
  log.Log(3, "   TAP State = %s\n", TapStateName(state));
}

void ClockTms(JtagCable& cable, uint8_t level) {
  cable.SetPortLevel(PortTms, level, false);
  cable.SetPortLevel(PortTck, 0, false);
  cable.SetPortLevel(PortTck, 1, true);
}

int InitPlayer(SXsvfInfo& info, XsvfIo& io) {
  info.errorCode = ClearXsvfInfo(info, io.log);
  if (info.errorCode == XsvfOk) info.errorCode = MoveTap(io, info.tapState, TapReset);
  return info.errorCode;
}

int MoveTap(XsvfIo& io, uint8_t& tapState, uint8_t target) {
  if (target == TapReset) {
    SendResetSequence(io, tapState);
    return XsvfOk;
  }
  if (!IsLegalMove(tapState, target)) return XsvfIllegalState;
  if (tapState >= kTapStateCount) {
    tapState = target;
    return XsvfIllegalState;
  }
  if (target == tapState && (target == TapDrPause || target == TapIrPause)) {
    ClockTmsStep(io, tapState, 1, target == TapDrPause ? TapDrExit2 : TapIrExit2);
  }
  while (tapState != target) {
    const TapStep step = NextTapStep(tapState, target);
    ClockTmsStep(io, tapState, step.tms, step.next);
  }
  return XsvfOk;
}

int DoXState(SXsvfInfo& info, XsvfIo& io) {
  uint8_t target = 0;
  ReadXsvfByte(io.program, target);
  const int result = MoveTap(io, info.tapState, target);
  if (result != XsvfOk) info.errorCode = result;
  return result;
}

int DoXEndState(SXsvfInfo& info, XsvfIo& io) {
  uint8_t pauseAtEnd = 0;
  ReadXsvfByte(io.program, pauseAtEnd);
  if (!IsEndStateOperand(pauseAtEnd)) {
    info.errorCode = XsvfIllegalState;
    return XsvfIllegalState;
  }
  if (info.command == XENDIR) {
    info.endIrState = pauseAtEnd ? TapIrPause : TapIdle;
    io.log.Log(3, "   ENDIR State = %s\n", TapStateName(info.endIrState));
  } else {
    info.endDrState = pauseAtEnd ? TapDrPause : TapIdle;
    io.log.Log(3, "   ENDDR State = %s\n", TapStateName(info.endDrState));
  }
  return XsvfOk;
}
