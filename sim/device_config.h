#pragma once
// What the simulated device is: how long it stays silent after the host starts
// probing, the targets its boot loader knows, the faults it shows on demand, and
// whether it starts with a JTAG session already open.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class JtagChip;

// Makes the chip that sits behind a JTAG target's port (one per simulated device).
using ChipFactory = std::function<std::unique_ptr<JtagChip>()>;

struct SimTarget {
  uint8_t id = 0;
  bool jtag = false;
  // Answers to the multiplicity query, in turn: the i-th query of this target is
  // answered queryAnswers[i % size]. One value: a count; empty: the device does
  // not answer; two different values: the host sees two different answers.
  std::vector<uint8_t> queryAnswers{1};
  ChipFactory makeChip;  // JTAG targets only
};

// Where a fault strikes: the n-th occurrence (counting from 1 after switch-on) of
// one of these.
enum class FaultPoint : uint8_t {
  Wake,       // a wake-up probe 0xA4
  Start,      // a start request 0xA3
  Query,      // a complete multiplicity query
  Selection,  // a complete selection pair (resends count again)
  Block,      // a complete firmware block (resends count again)
  Frame,      // a complete JTAG command frame (resends count again)
  Levels,     // a good JTAG frame of port levels ('B')
  Wait,       // a good JTAG frame that asks for a wait ('T')
  Byte,       // any host byte received while switched on
  Shift,      // a JTAG shift that compares TDO
};

enum class FaultKind : uint8_t {
  Noise,       // `count` bytes `byte` go out before the reply
  Repeat,      // `count` occurrences from the n-th on are answered 0x22 and dropped
  BadReply,    // `count` occurrences from the n-th on are answered `byte` and dropped
  Busy,        // `count` times 0x33 before the real reply
  Silence,     // from here on the device receives and answers nothing
  Disconnect,  // from here on the line is cut (devsim closes its side)
  EarlyEnd,    // the block is taken and answered 0x44: the device ends the target
  Mismatch,    // `count` compared shifts from the n-th on report a TDO mismatch
  Stuck,       // from here on the device answers busy every 100 ms, without end
  Flood,       // from here on the device sends `byte` without end, as fast as the
               // line carries it
  Deaf,        // the device answers this occurrence, then reads nothing more: what
               // the host sends fills the line's buffer, then its writes stall
  Refuse,      // `count` frames from the n-th on are answered 0x44 and not carried
               // out (frame, levels and wait only)
};

struct Fault {
  FaultKind kind = FaultKind::Noise;
  FaultPoint point = FaultPoint::Byte;
  uint32_t index = 1;  // the n-th occurrence, from 1
  uint32_t count = 1;  // k: bytes or occurrences, see FaultKind
  uint8_t byte = 0x55;
};

struct DeviceConfig {
  // The device is switched on this long after the first host byte; until then it
  // receives nothing. Counted again after every power cycle.
  uint32_t switchOnDelayMs = 0;
  std::vector<SimTarget> targets;  // any other id is unknown: its selection gets 0x44
  std::vector<Fault> faults;
  // Whether a 'T' command delays its reply by the wait it asks for.
  bool honourWaits = true;
  // Start (once switched on) with a JTAG session open on this target, as if it had
  // just been selected, so that an XSVF program can be played at once. Ignored
  // unless it names a JTAG target with a chip.
  std::optional<uint8_t> openSessionOn;
};
