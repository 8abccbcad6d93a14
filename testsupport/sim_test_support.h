#pragma once
// Helpers for the simulator's tests: talking to a BootLoaderSim directly.

#include <cstdint>
#include <memory>
#include <vector>

#include "link/command_link.h"
#include "sim/boot_loader_sim.h"
#include "sim/chip_catalog.h"
#include "sim/jtag_chip.h"

using Bytes = std::vector<uint8_t>;

// A command frame as the host sends it: length, payload, CRC-16.
inline Bytes Frame(const Bytes& payload) {
  const size_t field = payload.size() + 2;
  Bytes frame{static_cast<uint8_t>(field >> 8), static_cast<uint8_t>(field)};
  frame.reserve(2 + field);  // no reallocating insert: g++ 12 at -O3 warns falsely about it
  frame.insert(frame.end(), payload.begin(), payload.end());
  const uint16_t crc = Crc16(payload.data(), payload.size());
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  frame.push_back(static_cast<uint8_t>(crc));
  return frame;
}

inline SimTarget SimFirmwareTarget(uint8_t id, Bytes queryAnswers = {1}) {
  SimTarget target;
  target.id = id;
  target.queryAnswers = std::move(queryAnswers);
  return target;
}

inline SimTarget SimDemoJtagTarget(uint8_t id) {
  SimTarget target;
  target.id = id;
  target.jtag = true;
  std::string unused;
  target.makeChip = ChipFactoryFor("demo", &unused);
  return target;
}

inline Fault MakeFault(FaultKind kind, FaultPoint point, uint32_t index, uint32_t count = 1,
                       uint8_t byte = 0x55) {
  Fault fault;
  fault.kind = kind;
  fault.point = point;
  fault.index = index;
  fault.count = count;
  fault.byte = byte;
  return fault;
}

// Sends bytes to the device at a time and collects what it answers.
class DeviceTalk {
 public:
  explicit DeviceTalk(const DeviceConfig& config)
      : device(std::make_unique<BootLoaderSim>(config)) {}

  // What the device answers; from a device that sends without end, what it has
  // sent by atUs.
  Bytes Say(const Bytes& bytes, uint64_t atUs = 0) {
    device->Receive(bytes.data(), bytes.size(), atUs);
    Bytes answer;
    while (device->HasOutput() &&
           (!device->SendsWithoutEnd() || device->NextOutput().atUs <= atUs)) {
      answer.push_back(device->TakeOutput().value);
    }
    return answer;
  }

  // Wakes and starts the boot loader.
  void Start() {
    Say(Bytes(5, 0xA4));
    Say({0xA3});
  }

  std::unique_ptr<BootLoaderSim> device;
};
