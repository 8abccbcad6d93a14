// The host's side of a whole update, from the wake-up to the result line, against
// a device whose every answer comes from the fuzzer's input, whatever the host
// sent. The input is three bytes that say how the device behaves, then its
// replies:
//
//   byte 0  bit 0: the device sends its replies again and again, without end
//                  (otherwise, once they run dry, every read times out)
//           bit 1: the device stops reading: from byte 2's count on, writes fail
//                  after their time limit, as on a line whose buffer is full
//   byte 1  the time between two reply bytes, in units of 100 ms, less 1 (the
//           limits are in time, so a faster device only takes more reads to reach
//           them, and runs slower: the simulator's tests cover a flood at the
//           line's rate)
//   byte 2  the bytes the device reads before it stops, in units of 16
//
// The port's clock is virtual: reply bytes, read time-outs and failed writes move
// it on by what they would have cost. A user waits for the device to wake for ten
// seconds of that clock and then cancels (the wake-up probes until the device
// answers or the user gives up, as it should for a device that is switched off);
// after the wake-up the user cancels only when the replies have run dry. A device
// that sends without end must therefore be ended by the host's own limits, and
// quickly: libFuzzer reports a run that takes longer than its -timeout as a hang.
//
// The update file is fixed: two firmware targets (one run-length coded), a JTAG
// target whose program compares TDO with retries, and a target of a kind the
// updater does not handle.
//
// Besides crashes, undefined behaviour and memory above the bound that
// scripts/fuzz sets, it reports an update that does not end, a finished update
// without a reason, progress outside 0 to 100, and a result line that counts more
// successes than targets.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "engine/update_session.h"
#include "engine/update_state.h"
#include "engine/update_worker.h"
#include "engine/update_writer.h"
#include "fuzz/fuzz_support.h"
#include "link/serial_port.h"
#include "xsvf/xsvf_text.h"

namespace {

// A short program that still takes every kind of cable command: TAP steps, an
// instruction shift, a data shift compared under a mask with one retry (so a
// mismatch reply leads to a read-back), run-test and wait times, and a split scan.
const char kJtagProgram[] =
    "XREPEAT 1\n"
    "XSTATE RESET\n"
    "XSTATE RUNTEST/IDLE\n"
    "XSIR 8 0x01\n"
    "XSDRSIZE 32\n"
    "XTDOMASK 0x0fffffff\n"
    "XRUNTEST 10\n"
    "XSDRTDO 0x00000000 0x1de40157\n"
    "XRUNTEST 0\n"
    "XSIR 8 0x05\n"
    "XSDRSIZE 16\n"
    "XSDRB 0xa5a5\n"
    "XSDRE 0x0000\n"
    "XWAIT RUNTEST/IDLE RUNTEST/IDLE 100\n"
    "XCOMPLETE\n";

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + (i / 5) * 7);
  return bytes;
}

UpdateTarget Target(uint8_t id, const char* name, uint16_t kind, std::vector<uint8_t> data,
                    bool runLengthCoded = false) {
  UpdateTarget target;
  target.id = id;
  target.name = name;
  target.kind = kind;
  target.data = std::move(data);
  target.runLengthCoded = runLengthCoded;
  return target;
}

std::vector<uint8_t> BuildFixedFile() {
  std::vector<uint8_t> program;
  std::string error;
  FuzzCheck(AssembleXsvfText(kJtagProgram, &program, &error), "the JTAG target's program");
  const std::vector<UpdateTarget> targets = {
      Target(0x01, " Main", KindFirmware, FirmwareBlocks(Pattern(40, 0x10), 16)),
      Target(0x02, " Display", KindFirmware, FirmwareBlocks(Pattern(30, 0x80), 12), true),
      Target(0x03, " Logic", KindXsvf, program),
      Target(0x04, " Other", 0x1234, {0x00, 0x01, 0x02}),
  };
  std::vector<uint8_t> file;
  FuzzCheck(BuildUpdateFile("V1.01", targets, &file, &error), "the fixed update file");
  return file;
}

// How the device of one input behaves: the input's first bytes.
struct DeviceManner {
  static constexpr size_t kHeaderBytes = 3;
  static constexpr uint8_t kEndless = 0x01;
  static constexpr uint8_t kStopsReading = 0x02;
  static constexpr size_t kReadUnit = 16;
  static constexpr uint64_t kGapUnitUs = 100000;

  explicit DeviceManner(const uint8_t* header)
      : endless((header[0] & kEndless) != 0),
        readsUpTo((header[0] & kStopsReading) != 0 ? header[2] * kReadUnit : SIZE_MAX),
        replyGapUs((uint64_t{header[1]} + 1) * kGapUnitUs) {}

  bool endless;
  size_t readsUpTo;  // bytes the device reads before it stops
  uint64_t replyGapUs;
};

// How long the user waits for the device to wake before cancelling, on the
// port's clock.
constexpr uint64_t kWakePatienceUs = 10ull * 1000 * 1000;
// The rate the updater's port runs at, which sets a write's time limit.
constexpr uint32_t kBaud = 57600;

// The device: every read is served from the input; writes are taken and dropped
// until the device stops reading. Time passes on its own clock.
class InputDevice : public SerialChannel {
 public:
  InputDevice(const uint8_t* data, size_t size, DeviceManner manner, UpdateState& state)
      : begin(data), next(data), end(data + size), manner(manner), state(state) {}

  bool SetTimeouts(uint32_t timeoutMs) override {
    timeoutUs = uint64_t{timeoutMs} * 1000;
    return true;
  }

  bool Write(const uint8_t*, uint32_t count) override {
    if (read + count > manner.readsUpTo) {
      nowUs += uint64_t{WriteLimitMs(kBaud, count)} * 1000;
      return false;
    }
    read += count;
    return true;
  }

  bool Read(uint8_t* data, uint32_t count) override {
    for (uint32_t i = 0; i < count; ++i) {
      if (next == end && manner.endless) next = begin;
      if (next == end) return TimedOut(count);
      data[i] = *next++;
      nowUs += manner.replyGapUs;
    }
    UserLosesPatience();
    return true;
  }

  uint64_t NowUs() const override { return nowUs; }

 private:
  bool TimedOut(uint32_t count) {
    nowUs += timeoutUs * count + timeoutUs;
    state.cancelRequested.store(true);
    return false;
  }

  // A device that does not wake, however many bytes it sends.
  void UserLosesPatience() {
    if (!state.deviceAnswered.load() && nowUs > kWakePatienceUs) {
      state.cancelRequested.store(true);
    }
  }

  const uint8_t* begin;
  const uint8_t* next;
  const uint8_t* end;
  const DeviceManner manner;
  UpdateState& state;
  uint64_t nowUs = 0;
  uint64_t timeoutUs = 0;
  size_t read = 0;  // bytes the device has read
};

void CheckOutcome(UpdateState& state) {
  CheckRowProgress(state);
  const RunState runState = state.runState.load();
  FuzzCheck(runState == RunState::Aborted || runState == RunState::Finished, "the update has ended");
  const std::string statusLine = state.statusLine.Get();
  FuzzCheck(runState != RunState::Finished || !statusLine.empty(), "a finished update says why");
  const UpdateResult result = EndedResult(state);
  FuzzCheck(result.successes >= 0 && result.successes <= result.total,
            "no more successes than targets counted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < DeviceManner::kHeaderBytes) return 0;
  static const std::vector<uint8_t> file = BuildFixedFile();
  UpdateState state;
  state.filePath.Set("fixed.upd");
  std::string message;
  FuzzCheck(LoadFuzzFile(state, file.data(), file.size(), &message), "the fixed file's header");
  const DeviceManner manner(data);
  state.port.Attach(std::make_unique<InputDevice>(data + DeviceManner::kHeaderBytes,
                                                  size - DeviceManner::kHeaderBytes, manner,
                                                  state));
  state.port.SetTimeouts(1);
  state.runState.store(RunState::Running);

  UpdateWorker(state, QuietHost());
  CheckOutcome(state);

  return 0;
}
