// The host's side of a whole update, from the wake-up to the result line, against
// a device whose every answer comes from the fuzzer's input: each read takes the
// next input bytes, whatever the host sent. Once the input runs dry every read
// times out, and the user, tired of waiting, asks to cancel (otherwise the
// wake-up would probe for ever, as it should for a device that is switched off).
//
// The update file is fixed: two firmware targets (one run-length coded), a JTAG
// target whose program compares TDO with retries, and a target of a kind the
// updater does not handle.
//
// Besides crashes and undefined behaviour it reports an update that does not end,
// a finished update without a reason, progress outside 0 to 100, and a result line
// that counts more successes than targets.

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

// The device: every read is served from the input; writes are taken and dropped.
class InputDevice : public SerialChannel {
 public:
  InputDevice(const uint8_t* data, size_t size, UpdateState& state)
      : next(data), end(data + size), state(state) {}

  bool SetTimeouts(uint32_t) override { return true; }
  bool Write(const uint8_t*, uint32_t) override { return true; }

  bool Read(uint8_t* data, uint32_t count) override {
    const size_t taken = std::min<size_t>(count, static_cast<size_t>(end - next));
    std::copy(next, next + taken, data);
    next += taken;
    if (taken == count) return true;
    state.cancelRequested.store(1);
    return false;
  }

 private:
  const uint8_t* next;
  const uint8_t* end;
  UpdateState& state;
};

void CheckOutcome(UpdateState& state) {
  CheckRowProgress(state);
  const int32_t runState = state.runState.load();
  FuzzCheck(runState == Aborted || runState == Finished, "the update has ended");
  const std::string statusLine = state.statusLine.Get();
  FuzzCheck(runState != Finished || !statusLine.empty(), "a finished update says why");
  const UpdateResult result = EndedResult(state);
  FuzzCheck(result.successes >= 0 && result.successes <= result.total,
            "no more successes than targets counted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> file = BuildFixedFile();
  UpdateState state;
  state.filePath.Set("fixed.upd");
  state.updateFile = LoadFuzzFile(file);
  std::string message;
  FuzzCheck(ReadUpdateHeader(state, &message), "the fixed file's header");
  state.port.Attach(std::make_unique<InputDevice>(data, size, state));
  state.port.SetTimeouts(1);
  state.runState.store(Running);

  UpdateWorker(state, QuietHost());
  CheckOutcome(state);

  state.updateFile = nullptr;  // the file is the process's, reused by the next run
  return 0;
}
