#include "testsupport/simulated_play.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "link/command_link.h"
#include "sim/scripted_chip.h"
#include "testsupport/sim_port.h"
#include "xsvf/xsvf_program.h"

namespace {

constexpr uint32_t kReplyTimeoutMs = 150;

// A chip that answers as the program expects; the program's scans are worked out
// once and every chip made replays them.
ChipFactory ScriptedChipFor(const std::vector<uint8_t>& program) {
  std::string error;
  std::shared_ptr<ScriptedChip> chip = MakeScriptedChip(program, &error);
  if (!chip) throw std::logic_error(error);
  return [chip]() -> std::unique_ptr<JtagChip> {
    return std::make_unique<ScriptedChip>(chip->Scans());
  };
}

}  // namespace

SimulatedPlay::SimulatedPlay(std::vector<uint8_t> programBytes)
    : SimulatedPlay(programBytes, ScriptedChipFor(programBytes)) {
  XsvfProgram parsed;
  std::string error;
  if (!ParseXsvfProgram(program.Bytes().data(), program.Size(), &parsed, &error)) {
    throw std::logic_error(error);
  }
  commands = parsed.commands.size();
}

SimulatedPlay::SimulatedPlay(std::vector<uint8_t> programBytes, ChipFactory makeChip) {
  program.Load(std::move(programBytes));
  target.id = kTargetId;
  target.jtag = true;
  target.makeChip = std::move(makeChip);
}

void SimulatedPlay::Reset() {
  DeviceConfig config;
  config.targets.push_back(target);
  config.openSessionOn = target.id;
  config.honourWaits = honourWaits;
  device = std::make_shared<BootLoaderSim>(config);
  port.Close();
  port.Attach(std::make_unique<SimPort>(device));
  port.SetTimeouts(kReplyTimeoutMs);
  program.Rewind();
}

int SimulatedPlay::Play() {
  CommandLink link(port, cancelRequested);
  return PlayXsvf(program, link, host);
}
