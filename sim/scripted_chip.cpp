#include "sim/scripted_chip.h"

ScriptedChip::ScriptedChip(std::vector<XsvfScan> programScans)
    : scans(std::move(programScans)), shifted(scans.size()) {}

bool ScriptedChip::Shift(ScanKind kind, bool tdi) {
  if (current == scans.size() || scans[current].kind != kind) {
    ++undescribedBits;
    return true;
  }
  const XsvfScan& scan = scans[current];
  std::vector<bool>& bits = shifted[current];
  const size_t position = bits.size();
  bits.push_back(tdi);
  if (bits.size() == scan.tdi.size()) ++current;
  // The instruction register captures ...01 (IEEE 1149.1).
  return kind == ScanKind::Instruction ? position == 0 : scan.tdo[position];
}

std::unique_ptr<ScriptedChip> MakeScriptedChip(const std::vector<uint8_t>& program,
                                               std::string* error) {
  std::vector<XsvfScan> scans;
  if (!DescribeScans(program, &scans, error)) return nullptr;
  return std::make_unique<ScriptedChip>(std::move(scans));
}
