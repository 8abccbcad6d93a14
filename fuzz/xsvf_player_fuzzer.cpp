// The XSVF player on arbitrary programs, played through the framed link against
// the simulated device with a JTAG session already open. The device's time is
// virtual, so waits and silences cost nothing.
//
// Input: one options byte, then the record's stored data (the program).
//   bit 0  the chip behind the port answers as the program itself expects (when
//          the program can be parsed); otherwise it is the demo chip
//   bit 1  the stored data are run-length coded, as the update file allows
//   bit 2  the device takes as long as the program's waits ask

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "engine/update_state.h"
#include "fuzz/fuzz_support.h"
#include "sim/boot_loader_sim.h"
#include "sim/chip_catalog.h"
#include "sim/scripted_chip.h"
#include "sim/sim_port.h"
#include "xsvf/xsvf_player.h"
#include "xsvf/xsvf_program.h"

namespace {

constexpr uint8_t kTargetId = 1;
constexpr uint8_t kScriptedChip = 0x01;
constexpr uint8_t kRunLengthCoded = 0x02;
constexpr uint8_t kHonourWaits = 0x04;

// Whether the program leaves the TAP controller in Shift-DR between commands. A
// program may walk out of it with XSTATE or XWAIT, which clocks one more bit
// through the register than the scripted chip's model of its scans knows of.
bool LeavesShiftOpen(const std::vector<uint8_t>& program) {
  XsvfProgram parsed;
  std::string error;
  ParseXsvfProgram(program.data(), program.size(), &parsed, &error);
  for (const XsvfInstruction& command : parsed.commands) {
    if (command.code == XSDRB || command.code == XSDRC || command.code == XSDRTDOB ||
        command.code == XSDRTDOC) {
      return true;
    }
  }
  return false;
}

// A chip that answers as the program expects, if it can be parsed, or the demo
// chip; *scripted tells which.
ChipFactory ChipFor(const std::vector<uint8_t>& program, bool wantScripted, bool* scripted) {
  std::string error;
  *scripted = wantScripted && MakeScriptedChip(program, &error) != nullptr;
  if (*scripted) {
    return [program] {
      std::string unused;
      return std::unique_ptr<JtagChip>(MakeScriptedChip(program, &unused));
    };
  }
  return ChipFactoryFor("demo", &error);
}

std::shared_ptr<BootLoaderSim> DeviceWithOpenSession(ChipFactory chip, bool honourWaits) {
  DeviceConfig config;
  SimTarget target;
  target.id = kTargetId;
  target.jtag = true;
  target.makeChip = std::move(chip);
  config.targets.push_back(target);
  config.openSessionOn = kTargetId;
  config.honourWaits = honourWaits;
  return std::make_shared<BootLoaderSim>(config);
}

// The results a run can end with: no cancel is requested and the debug log can
// be created, so neither 7 nor 8; code 1 is never raised.
bool IsPlayerResult(int result) {
  return result == 0 || (result >= 2 && result <= 6) || (result >= 9 && result <= 13);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareFuzzHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;  // a record holds at least one stored byte
  const uint8_t options = data[0];
  const std::vector<uint8_t> stored(data + 1, data + size);
  const bool runLengthCoded = (options & kRunLengthCoded) != 0;
  const bool honourWaits = (options & kHonourWaits) != 0;
  bool scripted = false;
  ChipFactory chip = ChipFor(stored, !runLengthCoded && (options & kScriptedChip) != 0, &scripted);

  UpdateState state;
  state.port.Attach(std::make_unique<SimPort>(DeviceWithOpenSession(std::move(chip), honourWaits)));
  state.port.SetTimeouts(150);
  state.formatVersion = 1;
  state.targetKind = KindXsvf;
  state.targetFlags = runLengthCoded ? 1 : 0;
  state.targetLength = static_cast<int32_t>(stored.size());
  state.updateFile = LoadFuzzFile(stored);
  state.runState.store(Running);
  g_pUpdateState = &state;

  const int result = PlayXsvf();
  FuzzCheck(IsPlayerResult(result), "a result the player can give");
  // A well-formed program against a chip that answers every scan as it expects
  // plays through, unless it walks the TAP controller where it cannot go. (A
  // device that takes as long as the program's waits may outlast a read.)
  FuzzCheck(!scripted || honourWaits || LeavesShiftOpen(stored) || result == XsvfOk ||
                result == XsvfIllegalState,
            "a well-formed program plays through against a chip that answers as it expects");
  FuzzCheck(state.consumed <= state.targetLength, "the program is read within its record");
  CheckRowProgress(state);

  state.updateFile = nullptr;  // the file is the process's, reused by the next run
  g_pUpdateState = nullptr;
  return 0;
}
