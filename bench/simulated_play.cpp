#include "bench/simulated_play.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/update_file.h"
#include "sim/scripted_chip.h"
#include "sim/sim_port.h"
#include "xsvf/xsvf_program.h"
#include "xsvf/xsvf_run.h"

namespace {

constexpr uint8_t kTargetId = 5;
constexpr uint32_t kReplyTimeoutMs = 150;

}  // namespace

SimulatedPlay::SimulatedPlay(std::vector<uint8_t> programBytes) : program(std::move(programBytes)) {
  XsvfProgram parsed;
  std::string error;
  if (!ParseXsvfProgram(program.data(), program.size(), &parsed, &error)) {
    throw std::logic_error(error);
  }
  commands = parsed.commands.size();
  std::shared_ptr<ScriptedChip> chip = MakeScriptedChip(program, &error);
  if (!chip) throw std::logic_error(error);
  target.id = kTargetId;
  target.jtag = true;
  target.makeChip = [chip]() -> std::unique_ptr<JtagChip> {
    return std::make_unique<ScriptedChip>(chip->Scans());
  };
  state.updateFile = std::tmpfile();
  if (!state.updateFile ||
      std::fwrite(program.data(), 1, program.size(), state.updateFile) != program.size()) {
    throw std::runtime_error("cannot write the program to a temporary file");
  }
  g_pUpdateState = &state;
}

SimulatedPlay::~SimulatedPlay() {
  g_pUpdateState = nullptr;
  std::fclose(state.updateFile);
}

void SimulatedPlay::Reset() {
  DeviceConfig config;
  config.targets.push_back(target);
  config.openSessionOn = target.id;
  config.honourWaits = false;
  device = std::make_shared<BootLoaderSim>(config);
  state.port.Close();
  state.port.Attach(std::make_unique<SimPort>(device));
  state.port.SetTimeouts(kReplyTimeoutMs);
  // The program is the data of a "V1.01" record without run-length coding.
  std::rewind(state.updateFile);
  state.formatVersion = 1;
  state.targetFlags = 0;
  state.targetKind = KindXsvf;
  state.targetLength = static_cast<int32_t>(program.size());
  StartRecordData(state);
}

int SimulatedPlay::Play() { return PlayXsvf(); }
