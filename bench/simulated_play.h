#pragma once
// An XSVF program played in process against a simulated device whose JTAG session
// is open from the start and whose chip answers as the program expects, so that
// every comparison passes. The device answers waits at once.
//
// It takes g_pUpdateState for itself while it lives; one at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/update_state.h"
#include "sim/boot_loader_sim.h"

class SimulatedPlay {
 public:
  // Throws std::logic_error for a program that does not parse.
  explicit SimulatedPlay(std::vector<uint8_t> program);
  ~SimulatedPlay();
  SimulatedPlay(const SimulatedPlay&) = delete;
  SimulatedPlay& operator=(const SimulatedPlay&) = delete;

  // A fresh device on the in-process line, the program's record at its first byte.
  void Reset();
  // Plays the program (PlayXsvf); Reset first. Returns the player's result.
  int Play();

  size_t Commands() const { return commands; }
  BootLoaderSim& Device() { return *device; }

 private:
  std::vector<uint8_t> program;
  size_t commands = 0;
  SimTarget target;
  std::shared_ptr<BootLoaderSim> device;
  UpdateState state;
};
