#pragma once
// A serial channel to a simulated device in the same process, on a virtual clock.
//
// A write hands the bytes to the device at the current virtual time. A read takes
// the device's bytes as they become due; a read that cannot be satisfied ends as
// the port's time-out rule says (t ms between two bytes, t * k + t ms in all for k
// bytes) and moves the clock on by what that would have cost, instead of
// sleeping. The switch-on delay, silence and the device's JTAG waits thus cost no
// real time. Writes take no time, unless the device has stopped reading: then the
// line holds kLineBufferBytes for it, and a write that does not fit fails after
// its time limit (WriteLimitMs at 57600 baud), as on a real line. A time-out value
// of 0 lets a read take only what is due at once.
//
// Attach it to a CSerialPort and keep the device to look at it afterwards:
//
//   auto device = std::make_shared<BootLoaderSim>(config);
//   auto line = std::make_unique<SimPort>(device);
//   SimPort* clock = line.get();
//   state.port.Attach(std::move(line));
//
// Threads: only one thread uses the channel and the device at a time. An update
// worker uses them until it sets runState to Aborted or Finished; a test that has
// seen that state may then look at them from its own thread.

#include <cstdint>
#include <memory>

#include "link/serial_port.h"
#include "sim/boot_loader_sim.h"

class SimPort : public SerialChannel {
 public:
  // What the driver's queue and an adapter hold for a device that does not read.
  static constexpr uint32_t kLineBufferBytes = 4096;

  explicit SimPort(std::shared_ptr<BootLoaderSim> device);

  bool SetTimeouts(uint32_t timeoutMs) override;
  bool Write(const uint8_t* data, uint32_t count) override;
  bool Read(uint8_t* data, uint32_t count) override;

  uint64_t NowUs() const override { return nowUs; }
  BootLoaderSim& Device() { return *device; }

 private:
  // Takes the next device byte if it is due by `limitUs`, moving the clock to
  // its time; otherwise moves the clock to `limitUs` and returns false.
  bool TakeByteBy(uint64_t limitUs, uint8_t* byte);

  std::shared_ptr<BootLoaderSim> device;
  uint64_t nowUs = 0;
  uint64_t timeoutUs = 0;
  uint64_t unreadBytes = 0;  // held on the line for a device that stopped reading
};
