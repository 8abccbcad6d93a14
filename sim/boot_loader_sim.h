#pragma once
// The device's boot loader as the host sees it over the serial line: a state
// machine fed with host bytes at given times that produces the device's bytes,
// each with the time from which it may go out.
//
//   switched off   receives nothing until the switch-on delay has passed (counted
//                  from the first host byte)
//   0xA4           wake-up probe: 0x11
//   0xA3           start: 0x88
//   0xA5 id 0x00   multiplicity query: the target's configured answer (unknown
//                  ids and targets configured without answers: no answer)
//   0xA0 id ~id    selection: 0x11; 0x44 for an unknown id; 0x22 when the second
//                  byte is not the complement of the first (the pair is then
//                  awaited again, without a new 0xA0). A JTAG target then awaits
//                  0xFF 0x00: 0x11 opens its JTAG session (anything else: 0x44).
//   firmware       blocks of a 2-byte length L (at most 998) and L payload bytes,
//                  each answered 0x11; a longer length is answered 0x22
//   JTAG session   frames: 2-byte length (payload + 2), payload, CRC-16 of the
//                  payload; a bad CRC or an unusable length is answered 0x22, a
//                  good payload is carried out by the target's JtagExecutor; the
//                  end command 'F' (answered 0x44) closes the session. A target's
//                  JTAG port and chip are made at its first session and kept for
//                  the device's life: the chip's memory survives power cycles.
//   0xA2           end: the update is over; the device answers nothing more until
//                  it is switched off and on again
//
// Faults (see device_config.h) may make it answer otherwise, go quiet, send
// without end (HasOutput then stays true: take only the bytes due by a time) or
// stop reading (Deaf: whoever carries the line keeps the host's bytes from it).
//
// Where a block or a frame would start, a byte of 0xA0 or more is the next
// request (a block or frame length never reaches 0x9FFF), so that the host may
// query or select the next target, or send 0xA2, at any block boundary. Bytes
// that fit nowhere are ignored and counted.
//
// Not thread-safe: one thread feeds and drains it at a time.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "sim/device_config.h"
#include "sim/fault_plan.h"

class JtagExecutor;

// A device byte and the time (microseconds) from which it may go out.
struct TimedByte {
  uint64_t atUs = 0;
  uint8_t value = 0;
};

// A request as the device took it; targetId is 0 for requests without one.
struct SeenRequest {
  uint8_t code = 0;
  uint8_t targetId = 0;
  bool operator==(const SeenRequest& other) const {
    return code == other.code && targetId == other.targetId;
  }
};

// What the device has seen and done since it was made (power cycles included).
struct SimCounters {
  uint64_t bytesReceived = 0;
  uint64_t bytesWhileOff = 0;
  uint64_t bytesIgnored = 0;   // fit nowhere, or came after the end or silence
  uint64_t bytesUnread = 0;    // reached a device that had stopped reading
  uint64_t bytesSent = 0;
  uint64_t wakeProbes = 0;
  uint64_t starts = 0;
  uint64_t queries = 0;
  uint64_t selections = 0;     // selection requests (0xA0)
  uint64_t badPairs = 0;       // pairs whose second byte was not the complement
  uint64_t unknownTargets = 0;
  uint64_t sessions = 0;       // JTAG sessions opened
  uint64_t blocks = 0;         // firmware blocks taken
  uint64_t blockBytes = 0;     // their payload bytes
  uint64_t oversizedBlocks = 0;
  uint64_t frames = 0;         // complete JTAG frames, good or bad
  uint64_t badFrames = 0;      // bad CRC, unusable length or empty payload
  std::map<char, uint64_t> commands;  // good frames by command letter
  uint64_t ends = 0;
  uint64_t faultsStruck = 0;
  uint64_t powerCycles = 0;
};

class BootLoaderSim {
 public:
  explicit BootLoaderSim(DeviceConfig config);
  ~BootLoaderSim();
  BootLoaderSim(const BootLoaderSim&) = delete;
  BootLoaderSim& operator=(const BootLoaderSim&) = delete;

  // Host bytes that arrived at nowUs. Times never go back.
  void Receive(const uint8_t* data, size_t count, uint64_t nowUs);

  // The device's bytes, in the order they go out. A device that sends without end
  // always has a next one.
  bool HasOutput() const { return !output.empty() || stream.has_value(); }
  TimedByte NextOutput() const;
  TimedByte TakeOutput();
  // A fault makes the device send without end (busy reports or a flood).
  bool SendsWithoutEnd() const { return stream.has_value(); }
  // A fault has made the device stop reading the line.
  bool Deaf() const { return deaf; }

  // Switches the device off: a fresh boot loader (state, fault counts, switch-on
  // delay counted again, no work in progress), pending output dropped, the JTAG
  // ports back in Test-Logic-Reset without the vectors they kept. The chips'
  // memories, records and counters stay.
  void PowerCycle();

  bool SwitchedOn() const { return phase != Phase::Off; }
  // A disconnect fault has cut the line.
  bool Disconnected() const { return disconnected; }

  const std::vector<SeenRequest>& Requests() const { return requests; }
  // The firmware blocks (length field and payload, as sent) taken for a target
  // since it was last selected; joined, they are the target's data in the file.
  const std::vector<std::vector<uint8_t>>& Blocks(uint8_t targetId) const;
  std::vector<uint8_t> ReceivedFirmware(uint8_t targetId) const;
  // The JTAG port of a target; nullptr before its first session.
  JtagExecutor* Executor(uint8_t targetId) const;

  SimCounters Counters() const;
  // Counters as key=value lines, JTAG statistics per target included.
  void WriteReport(std::ostream& out) const;

 private:
  enum class Phase { Off, Idle, QueryArgs, SelectionPair, KindBytes, Firmware, Jtag, Ended, Quiet };

  void SwitchOn();
  void HandleByte(uint8_t byte);
  void HandleRequest(uint8_t byte);
  void CollectMessage(uint8_t byte);
  void CollectLengthPrefixed(uint8_t byte);
  void FinishQuery();
  void FinishPair();
  void FinishKind();
  void FinishBlock();
  void FinishFrame();
  void CarryOut(const uint8_t* payload, size_t length);
  void OpenSession(const SimTarget& target);

  // Applies the faults of one occurrence of a point: quiet, bytes ahead, or an
  // answer in place of the real one. Returns the effect when the occurrence is
  // still to be handled, nothing when the faults have dealt with it.
  std::optional<FaultEffect> Strike(FaultPoint point);
  void GoQuiet(bool cutLine);
  void SendWithoutEnd(uint8_t value, uint64_t periodUs);
  void Send(uint8_t value);
  void SendAt(uint8_t value, uint64_t atUs);
  void SendAll(const std::vector<uint8_t>& bytes);
  const SimTarget* FindTarget(uint8_t id) const;

  DeviceConfig config;
  FaultPlan plan;
  Phase phase = Phase::Off;
  std::optional<uint64_t> onAtUs;   // when the device switches on
  uint64_t clockUs = 0;             // time of the byte being handled
  uint64_t busyUntilUs = 0;         // end of the last wait the device carried out
  std::vector<uint8_t> message;     // bytes of the message being received
  size_t messageLength = 0;         // its full length once known
  const SimTarget* current = nullptr;  // selected target
  bool pairResent = false;
  std::map<uint8_t, size_t> queriesAnswered;  // per target, since switch-on
  bool disconnected = false;
  bool deaf = false;
  // Bytes the device sends without end after `output`: `value` every `periodUs`
  // from `nextUs` on.
  struct Stream {
    uint8_t value = 0;
    uint64_t nextUs = 0;
    uint64_t periodUs = 0;
  };
  std::optional<Stream> stream;
  std::deque<TimedByte> output;
  std::vector<SeenRequest> requests;
  std::map<uint8_t, std::vector<std::vector<uint8_t>>> blocks;
  std::map<uint8_t, std::unique_ptr<JtagExecutor>> executors;
  SimCounters counters;
};
