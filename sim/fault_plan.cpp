#include "sim/fault_plan.h"

namespace {

constexpr uint8_t kRepeat = 0x22;
constexpr uint8_t kBusy = 0x33;
constexpr uint8_t kEnd = 0x44;

// Points at which the device answers something that a fault can replace or delay.
bool IsAnsweredPoint(FaultPoint point) {
  return point != FaultPoint::Byte && point != FaultPoint::Shift;
}

// Kinds that strike `count` occurrences in a row rather than one.
bool StrikesInARow(FaultKind kind) {
  return kind == FaultKind::Repeat || kind == FaultKind::BadReply ||
         kind == FaultKind::Mismatch || kind == FaultKind::Refuse;
}

bool IsFramePoint(FaultPoint point) {
  return point == FaultPoint::Frame || point == FaultPoint::Levels || point == FaultPoint::Wait;
}

bool Strikes(const Fault& fault, uint32_t occurrence) {
  if (StrikesInARow(fault.kind)) {
    return occurrence >= fault.index && occurrence - fault.index < fault.count;
  }
  return occurrence == fault.index;
}

void Apply(const Fault& fault, FaultEffect& effect) {
  switch (fault.kind) {
    case FaultKind::Noise:
      effect.before.insert(effect.before.end(), fault.count, fault.byte);
      break;
    case FaultKind::Busy:
      effect.before.insert(effect.before.end(), fault.count, kBusy);
      break;
    case FaultKind::Repeat:
      if (!effect.answerWith) effect.answerWith = kRepeat;
      break;
    case FaultKind::BadReply:
      if (!effect.answerWith) effect.answerWith = fault.byte;
      break;
    case FaultKind::Silence:
      effect.silence = true;
      break;
    case FaultKind::Disconnect:
      effect.disconnect = true;
      break;
    case FaultKind::EarlyEnd:
      effect.earlyEnd = true;
      break;
    case FaultKind::Mismatch:
      effect.mismatch = true;
      break;
    case FaultKind::Stuck:
      effect.endless = kBusy;
      effect.stuck = true;
      break;
    case FaultKind::Flood:
      if (!effect.endless) effect.endless = fault.byte;
      break;
    case FaultKind::Deaf:
      effect.deaf = true;
      break;
    case FaultKind::Refuse:
      if (!effect.answerWith) effect.answerWith = kEnd;
      break;
  }
}

}  // namespace

bool FaultFits(FaultKind kind, FaultPoint point) {
  switch (kind) {
    case FaultKind::Noise:
    case FaultKind::Silence:
    case FaultKind::Disconnect:
    case FaultKind::Stuck:
    case FaultKind::Flood:
    case FaultKind::Deaf:
      return point != FaultPoint::Shift;
    case FaultKind::Refuse:
      return IsFramePoint(point);
    case FaultKind::Repeat:
    case FaultKind::BadReply:
    case FaultKind::Busy:
      return IsAnsweredPoint(point);
    case FaultKind::EarlyEnd:
      return point == FaultPoint::Block;
    case FaultKind::Mismatch:
      return point == FaultPoint::Shift;
  }
  return false;
}

FaultPlan::FaultPlan(const std::vector<Fault>& plannedFaults) {
  // A fault that cannot strike where it is placed would never show; leave it out.
  for (const Fault& fault : plannedFaults) {
    if (FaultFits(fault.kind, fault.point)) faults.push_back(fault);
  }
}

FaultEffect FaultPlan::Occur(FaultPoint point) {
  uint32_t occurrence = ++seen[static_cast<size_t>(point)];
  FaultEffect effect;
  bool any = false;
  for (const Fault& fault : faults) {
    if (fault.point != point || !Strikes(fault, occurrence)) continue;
    Apply(fault, effect);
    any = true;
  }
  if (any) ++struck;
  return effect;
}

void FaultPlan::Restart() { seen.fill(0); }
