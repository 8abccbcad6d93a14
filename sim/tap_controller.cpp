#include "sim/tap_controller.h"

namespace {

struct Transition {
  JtagState tmsLow;
  JtagState tmsHigh;
};

using S = JtagState;

// Indexed by the state's number.
constexpr Transition kTransitions[16] = {
    {S::RunTestIdle, S::TestLogicReset},  // TestLogicReset
    {S::RunTestIdle, S::SelectDrScan},    // RunTestIdle
    {S::CaptureDr, S::SelectIrScan},      // SelectDrScan
    {S::ShiftDr, S::Exit1Dr},             // CaptureDr
    {S::ShiftDr, S::Exit1Dr},             // ShiftDr
    {S::PauseDr, S::UpdateDr},            // Exit1Dr
    {S::PauseDr, S::Exit2Dr},             // PauseDr
    {S::ShiftDr, S::UpdateDr},            // Exit2Dr
    {S::RunTestIdle, S::SelectDrScan},    // UpdateDr
    {S::CaptureIr, S::TestLogicReset},    // SelectIrScan
    {S::ShiftIr, S::Exit1Ir},             // CaptureIr
    {S::ShiftIr, S::Exit1Ir},             // ShiftIr
    {S::PauseIr, S::UpdateIr},            // Exit1Ir
    {S::PauseIr, S::Exit2Ir},             // PauseIr
    {S::ShiftIr, S::UpdateIr},            // Exit2Ir
    {S::RunTestIdle, S::SelectDrScan},    // UpdateIr
};

}  // namespace

JtagState NextJtagState(JtagState state, bool tms) {
  const Transition& t = kTransitions[static_cast<uint8_t>(state)];
  return tms ? t.tmsHigh : t.tmsLow;
}

TapController::TapController(JtagChip& chip) : chip(chip) { PowerUp(); }

void TapController::PowerUp() {
  state = JtagState::TestLogicReset;
  tms = true;
  tck = false;
  tdi = false;
  chip.Reset();
}

void TapController::SetTck(bool level) {
  const bool rising = level && !tck;
  tck = level;
  if (rising) RisingEdge();
}

bool TapController::Clock(bool tmsLevel, bool tdiLevel) {
  tms = tmsLevel;
  tdi = tdiLevel;
  tck = true;  // a whole pulse: low, then the rising edge
  return RisingEdge();
}

void TapController::Wait(uint32_t microseconds) {
  if (state == JtagState::RunTestIdle) chip.RunTestIdle(microseconds);
}

bool TapController::RisingEdge() {
  ++risingEdges;
  bool tdo = true;  // not driven outside the Shift states
  switch (state) {
    case S::CaptureDr: chip.Capture(ScanKind::Data); break;
    case S::CaptureIr: chip.Capture(ScanKind::Instruction); break;
    case S::ShiftDr: tdo = chip.Shift(ScanKind::Data, tdi); break;
    case S::ShiftIr: tdo = chip.Shift(ScanKind::Instruction, tdi); break;
    default: break;
  }
  const JtagState previous = state;
  state = NextJtagState(state, tms);
  if (state == S::UpdateDr) chip.Update(ScanKind::Data);
  if (state == S::UpdateIr) chip.Update(ScanKind::Instruction);
  if (state == S::TestLogicReset && previous != S::TestLogicReset) chip.Reset();
  return tdo;
}
