// The XSVF player on arbitrary programs, played through the framed link against
// the simulated device with a JTAG session already open. The device's time is
// virtual, so waits and silences cost nothing.
//
// Input: one options byte, then the program.
//   bit 0  the chip behind the port answers as the program itself expects (when
//          the device can read the program); otherwise it is the demo chip
//   bit 1  the device takes as long as the program's waits ask

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "sim/chip_catalog.h"
#include "sim/scripted_chip.h"
#include "testsupport/simulated_play.h"
#include "xsvf/xsvf_program.h"

namespace {

constexpr uint8_t kScriptedChip = 0x01;
constexpr uint8_t kHonourWaits = 0x02;

bool IsShiftState(uint8_t state) { return state == TapDrShift || state == TapIrShift; }

// Whether the program clocks a register outside its scans, where the scripted
// chip, which matches the bits shifted in order against the program's scans, takes
// a bit for the next scan's first: it leaves the TAP controller in Shift-DR
// between commands (and may walk out of it with XSTATE or XWAIT, one more bit
// through the register), or it walks into a shift state with XSTATE or waits in
// one with XWAIT (each clock there, the one that leaves included, shifts a bit).
// A real chip captures afresh at the next scan; the scripted one cannot know.
bool ShiftsOutsideItsScans(const std::vector<uint8_t>& program) {
  XsvfProgram parsed;
  std::string error;
  ParseXsvfProgram(program.data(), program.size(), &parsed, &error);
  for (const XsvfInstruction& command : parsed.commands) {
    switch (command.code) {
      case XSDRB:
      case XSDRC:
      case XSDRTDOB:
      case XSDRTDOC:
        return true;
      case XSTATE:
        if (IsShiftState(command.operands.at(0))) return true;
        break;
      case XWAIT:
        if (IsShiftState(command.operands.at(0)) || IsShiftState(command.operands.at(1))) return true;
        break;
      default:
        break;
    }
  }
  return false;
}

// A chip that answers as the program expects, if both the player's parser and the
// device can read it, or the demo chip; *scripted tells which.
ChipFactory ChipFor(const std::vector<uint8_t>& program, bool wantScripted, bool* scripted) {
  std::string error;
  XsvfProgram parsed;
  *scripted = wantScripted &&
              ParseXsvfProgram(program.data(), program.size(), &parsed, &error) &&
              MakeScriptedChip(program, &error) != nullptr;
  if (*scripted) {
    return [program] {
      std::string unused;
      return std::unique_ptr<JtagChip>(MakeScriptedChip(program, &unused));
    };
  }
  return ChipFactoryFor("demo", &error);
}

// The results a run can end with: no cancel is requested and the debug log can
// be created, so neither 7 nor 8; code 1 is never raised.
bool IsPlayerResult(int result) {
  return result == 0 || (result >= 2 && result <= 6) || (result >= 9 && result <= 14);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t options = data[0];
  const std::vector<uint8_t> program(data + 1, data + size);
  const bool honourWaits = (options & kHonourWaits) != 0;
  bool scripted = false;
  ChipFactory chip = ChipFor(program, (options & kScriptedChip) != 0, &scripted);

  SimulatedPlay play(program, std::move(chip));
  play.host.comment = [](const std::string&) {};
  play.HonourWaits(honourWaits);
  play.Reset();
  const int result = play.Play();
  FuzzCheck(IsPlayerResult(result), "a result the player can give");
  // A well-formed program against a chip that answers every scan as it expects
  // plays through, unless it walks the TAP controller where it cannot go. (A
  // device that takes as long as the program's waits may outlast a read.)
  FuzzCheck(!scripted || honourWaits || ShiftsOutsideItsScans(program) || result == XsvfOk ||
                result == XsvfIllegalState,
            "a well-formed program plays through against a chip that answers as it expects");
  // Where the device cannot make the difference, the check before an update
  // refuses exactly what the player refuses.
  FuzzCheck(!scripted || honourWaits || ShiftsOutsideItsScans(program) ||
                CheckXsvfProgram(program.data(), program.size()).error == result,
            "the check refuses what the player refuses, and passes what it plays");
  FuzzCheck(play.BytesRead() <= program.size(), "the program is read within its bytes");
  return 0;
}
