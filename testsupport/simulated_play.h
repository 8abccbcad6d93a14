#pragma once
// An XSVF program played in process, as an update plays it, through the framed
// link on the in-process line against a simulated device whose JTAG session is
// open from the start. By default the chip behind the port answers as the
// program itself expects, so that every comparison passes, and the device
// answers waits at once.
//
// For the player's tests, the benchmarks and the fuzzers; several can run at once.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/serial_port.h"
#include "sim/boot_loader_sim.h"
#include "sim/device_config.h"
#include "sim/jtag_executor.h"
#include "testsupport/memory_byte_source.h"
#include "xsvf/xsvf_run.h"

class SimulatedPlay {
 public:
  // The chip answers as the program expects. Throws std::logic_error for a program
  // that does not parse.
  explicit SimulatedPlay(std::vector<uint8_t> program);
  // The chip is one that `makeChip` makes; the program may be anything.
  SimulatedPlay(std::vector<uint8_t> program, ChipFactory makeChip);
  SimulatedPlay(const SimulatedPlay&) = delete;
  SimulatedPlay& operator=(const SimulatedPlay&) = delete;

  // A fresh device on the in-process line, the program at its first byte.
  void Reset();
  // Plays the program (PlayXsvf); Reset first. Returns the player's result.
  int Play();

  // Whether the device takes as long as the program's waits ask (default: no).
  void HonourWaits(bool honour) { honourWaits = honour; }

  // The program's commands (with the scripted chip only).
  size_t Commands() const { return commands; }
  // Program bytes the player has read.
  size_t BytesRead() const { return program.Position(); }
  BootLoaderSim& Device() { return *device; }
  // The JTAG port of the simulated target, and the chip behind it.
  JtagExecutor& Port() { return *device->Executor(kTargetId); }

  // What the run reports to; the debug log goes to the working directory.
  XsvfRunHost host;
  // The cancel request the link looks at.
  std::atomic<bool> cancelRequested{false};

 private:
  static constexpr uint8_t kTargetId = 1;

  MemoryByteSource program;
  size_t commands = 0;
  SimTarget target;
  bool honourWaits = false;
  std::shared_ptr<BootLoaderSim> device;
  CSerialPort port;
};
