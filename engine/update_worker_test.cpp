// Whole updates in process: the worker thread, started as the Update button starts
// it, against the simulated device behind the port on a virtual clock, with this
// thread watching the record as the window's timer does.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/boot_protocol.h"
#include "engine/messages.h"
#include "engine/update_file_check.h"
#include "engine/update_session.h"
#include "engine/update_state.h"
#include "engine/update_writer.h"
#include "sim/boot_loader_sim.h"
#include "sim/jtag_executor.h"
#include "sim/scenario.h"
#include "testsupport/sim_port.h"
#include "testsupport/update_cases.h"
#include "xsvf/file_bytes.h"

namespace {

// A bound for a hung update, in real time: the device's own time is virtual.
constexpr auto kUpdateLimit = std::chrono::seconds(120);
constexpr auto kWatchInterval = std::chrono::milliseconds(1);

// Cancel as the window's user presses it: before the device has answered it takes
// effect at once; afterwards the user answers Yes to the warning.
void PressCancel(UpdateState& state) {
  if (!state.deviceAnswered.load()) {
    state.cancelRequested.store(true);
  } else {
    ConfirmCancel(state);
  }
}

// The line to the device, pressing Cancel once the update has sent the n-th
// wake-up probe or the n-th firmware block or command frame.
class CancellingLine : public SerialChannel {
 public:
  CancellingLine(std::unique_ptr<SerialChannel> line, UpdateState& state, CancelTrigger trigger)
      : line(std::move(line)), state(state), trigger(trigger) {}

  bool SetTimeouts(uint32_t timeoutMs) override { return line->SetTimeouts(timeoutMs); }
  bool Read(uint8_t* data, uint32_t count) override { return line->Read(data, count); }

  bool Write(const uint8_t* data, uint32_t count) override {
    const bool written = line->Write(data, count);
    if (Counts(data, count) && ++seen == trigger.count) PressCancel(state);
    return written;
  }

 private:
  bool Counts(const uint8_t* data, uint32_t count) const {
    switch (trigger.point) {
      case CancelPoint::WakeProbe:
        return count == 1 && data[0] == CmdWake;
      case CancelPoint::DataWrite:
        return count >= 4;  // blocks and frames; requests are shorter
      case CancelPoint::None:
        break;
    }
    return false;
  }

  std::unique_ptr<SerialChannel> line;
  UpdateState& state;
  const CancelTrigger trigger;
  uint32_t seen = 0;
};

std::shared_ptr<BootLoaderSim> MakeDevice(const std::string& scenario) {
  DeviceConfig config;
  std::istringstream in(scenario);
  std::string error;
  EXPECT_TRUE(ReadScenario(in, config, &error)) << error;
  return std::make_shared<BootLoaderSim>(config);
}

// One update of the file at `path`, in the steps the window takes: the header
// check, the port opened and drained, the rows cleared, the worker started, the
// record watched until the worker has ended the update, the file and the port
// closed. Returns the run state the worker ended with (Running if it never did).
// `wrap`, if given, puts a line of the test's own between the update and the device.
using LineWrapper =
    std::function<std::unique_ptr<SerialChannel>(std::unique_ptr<SerialChannel> line)>;
RunState RunUpdate(UpdateState& state, const std::string& path,
                   const std::shared_ptr<BootLoaderSim>& device, CancelTrigger cancel = {},
                   const UpdateHost& host = UpdateHost(), const LineWrapper& wrap = nullptr) {
  state.filePath.Set(path);
  std::string message;
  if (!OpenUpdateFile(state, &message)) {
    ADD_FAILURE() << message;
    CloseUpdateResources(state);
    return RunState::Idle;
  }
  std::unique_ptr<SerialChannel> line = std::make_unique<SimPort>(device);
  if (wrap) line = wrap(std::move(line));
  state.port.Attach(std::make_unique<CancellingLine>(std::move(line), state, cancel));
  state.port.SetTimeouts(1);
  uint8_t stale;
  while (state.port.Read(&stale, 1)) {
  }
  ClearRowsForUpdate(state);
  UpdateThread worker;
  LaunchUpdate(state, worker, host);

  const auto deadline = std::chrono::steady_clock::now() + kUpdateLimit;
  RunState ended = RunState::Running;
  while (ended == RunState::Running && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kWatchInterval);
    ended = state.runState.load();
  }
  if (ended == RunState::Running) {
    // The worker still uses the record and the device: they must outlive it.
    ADD_FAILURE() << "the update did not end";
    std::abort();
  }
  worker.Join();
  CloseUpdateResources(state);
  state.runState.store(RunState::Idle);
  return ended;
}

std::vector<ExpectedRow> RowsOf(const UpdateState& state) {
  std::vector<ExpectedRow> rows;
  for (uint32_t i = 0; i < state.targetCount && i < kMaxTargets; ++i) {
    rows.push_back(
        {state.rows[i].percent.load(), state.rows[i].status.Get(), state.rows[i].mark.Get()});
  }
  return rows;
}

void ExpectRows(const UpdateState& state, const std::vector<ExpectedRow>& expected) {
  for (const std::string& difference : RowDifferences(expected, RowsOf(state))) {
    ADD_FAILURE() << difference;
  }
}

bool EndReachedDevice(const BootLoaderSim& device) {
  const std::vector<SeenRequest>& requests = device.Requests();
  return std::find(requests.begin(), requests.end(), SeenRequest{CmdEnd, 0}) != requests.end();
}

std::string SaveCaseFile(const std::string& name, const Bytes& bytes) {
  const std::string path = name + ".upd";  // in the test program's own directory
  EXPECT_TRUE(WriteFileBytes(path, bytes));
  return path;
}

class WholeUpdate : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(WholeUpdate, EndsAsExpected) {
  const UpdateCase& c = GetParam();
  const std::string path = SaveCaseFile(c.name, UpdateFileBytes(c));
  const std::shared_ptr<BootLoaderSim> device = MakeDevice(c.scenario);
  UpdateState state;

  EXPECT_EQ(RunUpdate(state, path, device, c.cancel), c.runState);
  EXPECT_EQ(state.statusLine.Get(), ExpectedStatusLine(c, path));
  ExpectRows(state, c.rows);
  EXPECT_EQ(EndReachedDevice(*device), c.endSent);
  for (uint8_t id : c.firmwareIds) {
    EXPECT_EQ(device->ReceivedFirmware(id), TargetData(c, id)) << "target " << int{id};
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WholeUpdate, ::testing::ValuesIn(UpdateCases()),
                         [](const ::testing::TestParamInfo<UpdateCase>& info) {
                           return info.param.name;
                         });

// A second update in the same run of the program starts clean: no bad replies
// counted before it, no marks, percents or statuses left in the rows.
TEST(SecondUpdate, StartsCleanAfterGivingUpOnBadReplies) {
  const std::string path =
      SaveCaseFile("second", BuildFile("V1.01", {FirmwareTarget(1, " Main", 3)}));
  UpdateState state;

  EXPECT_EQ(
      RunUpdate(state, path, MakeDevice("target 01 firmware 2\nfault reply block 2 x4 0x55\n")),
      RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgWrongAnswer));
  ExpectRows(state, {{66, "", "2 *  "}});

  // A bad reply before the device's first good one must not end this one.
  EXPECT_EQ(RunUpdate(state, path, MakeDevice("target 01 firmware\nfault noise start 1 0x55\n")),
            RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 1, 1));
  ExpectRows(state, {{100, "", ""}});
}

// An IDCODE read that ends with an instruction shift, so that the shift cache
// holds that shift's vector when the program ends, and an unfinished copy that
// fails after the last shift.
std::string IdcodeThenInstruction(bool complete) {
  return "XREPEAT 0\nXSTATE RESET\nXSTATE RUNTEST/IDLE\n"
         "XSIR 8 0x01\nXSDRSIZE 32\nXTDOMASK 0xffffffff\nXSDRTDO 0x00000000 0x1de40157\n"
         "XSIR 8 0x01\n" +
         std::string(complete ? "XCOMPLETE\n" : "");
}

// The first run fails after its last shift, with that vector in the shift cache;
// the second run starts with the same shift on a fresh device, which holds no
// vectors: the updater must send it whole.
TEST(SecondUpdate, StartsCleanAfterAFailedJtagRun) {
  const auto file = [](bool complete) {
    return BuildFile("V1.01",
                     {XsvfTarget(3, " Logic", AssembleXsvf(IdcodeThenInstruction(complete)))});
  };
  const std::string cut = SaveCaseFile("second_jtag_cut", file(false));
  const std::string whole = SaveCaseFile("second_jtag", file(true));
  UpdateState state;

  EXPECT_EQ(RunUpdate(state, cut, MakeDevice("target 03 jtag demo\n")), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgFileReadError));
  ExpectRows(state, {{100, MessageText(MsgUnsuccessful), ""}});  // every byte was read

  const std::shared_ptr<BootLoaderSim> device = MakeDevice("target 03 jtag demo\n");
  EXPECT_EQ(RunUpdate(state, whole, device), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 1, 1));
  ExpectRows(state, {{100, "", ""}});
  ASSERT_NE(device->Executor(3), nullptr);
  EXPECT_EQ(device->Executor(3)->Statistics().mismatches, 0u);
}

// The user confirms the cancel just after the last block of a target has gone out:
// the target is updated all the same, and its row must say so.
TEST(LateCancel, LeavesTheFinishedTargetShownAsUpdated) {
  const std::string path = SaveCaseFile(
      "late_cancel",
      BuildFile("V1.01", {FirmwareTarget(1, " Main", 3), FirmwareTarget(2, " Io", 3)}));
  UpdateState state;
  const CancelTrigger afterTheThirdBlock{CancelPoint::DataWrite, 3, 0};
  const std::shared_ptr<BootLoaderSim> device =
      MakeDevice("target 01 firmware\ntarget 02 firmware\n");

  EXPECT_EQ(RunUpdate(state, path, device, afterTheThirdBlock), RunState::Aborted);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  ExpectRows(state, {{100, "", ""}, {0, MessageText(MsgCancelled), ""}});
  EXPECT_FALSE(EndReachedDevice(*device));
}

// With nothing after that target, the update ends as a whole.
TEST(LateCancel, AfterTheLastTargetLetsTheUpdateFinish) {
  const std::string path =
      SaveCaseFile("late_cancel_last", BuildFile("V1.01", {FirmwareTarget(1, " Main", 3)}));
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device = MakeDevice("target 01 firmware\n");

  EXPECT_EQ(RunUpdate(state, path, device, {CancelPoint::DataWrite, 3, 0}), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 1, 1));
  ExpectRows(state, {{100, "", ""}});
  EXPECT_TRUE(EndReachedDevice(*device));
}

// The cancel comes while the device keeps answering a frame with 0x33: the link
// ends the device's work with 0xA2 at once, and the update ends as cancelled.
TEST(CancelDuringJtag, WhileTheDeviceIsBusyEndsTheDevicesWork) {
  const std::string path =
      SaveCaseFile("busy_cancel", BuildFile("V1.01", {XsvfTarget(3, " Logic", DemoChipProgram())}));
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device =
      MakeDevice("target 03 jtag demo\nfault busy frame 40 x1000\n");

  EXPECT_EQ(RunUpdate(state, path, device, {CancelPoint::DataWrite, 40, 0}), RunState::Aborted);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  ExpectRows(state, {{kUnderWay, MessageText(MsgCancelled), ""}});
  EXPECT_TRUE(EndReachedDevice(*device));
  EXPECT_EQ(device->Counters().frames, 40u);  // none after the busy one
}

// The IDCODE read's shift is the 6th frame (the steps before each shift and wait
// travel as one frame); a 'B' frame and the 'T' of its run-test wait follow it
// within the same command. The device answers the shift busy once, then
// acknowledges it, and after the link's 0xA2 answers nothing more: the frames
// after it go unanswered, yet the user's cancel is what ended the update.
TEST(CancelDuringJtag, WhileTheDeviceIsBusyInTheMiddleOfACommand) {
  const Bytes program = AssembleXsvf(
      "XREPEAT 0\nXRUNTEST 1000\nXSTATE RESET\nXSTATE RUNTEST/IDLE\nXSIR 8 0x01\n"
      "XSDRSIZE 32\nXTDOMASK 0xffffffff\nXSDRTDO 0x00000000 0x1de40157\nXCOMPLETE\n");
  const std::string path =
      SaveCaseFile("busy_cancel_mid", BuildFile("V1.01", {XsvfTarget(5, " Logic", program)}));
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device =
      MakeDevice("target 05 jtag demo\nfault busy frame 6\n");

  EXPECT_EQ(RunUpdate(state, path, device, {CancelPoint::DataWrite, 6, 0}), RunState::Aborted);
  EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser));
  ExpectRows(state, {{kUnderWay, MessageText(MsgCancelled), ""}});
  EXPECT_TRUE(EndReachedDevice(*device));
  EXPECT_EQ(device->Counters().commands['S'], 2u);  // the busy frame was the read's shift
}

}  // namespace

namespace {

// The line to the device, on which the user confirms the cancel in the middle of
// the n-th operation (a read or a write, counted from 1), as a Yes given at the
// very moment the device's answer arrives, or fails to.
class CancelAtOperation : public SerialChannel {
 public:
  CancelAtOperation(std::unique_ptr<SerialChannel> line, UpdateState& state, uint32_t operation)
      : line(std::move(line)), state(state), operation(operation) {}

  bool SetTimeouts(uint32_t timeoutMs) override { return line->SetTimeouts(timeoutMs); }
  bool Write(const uint8_t* data, uint32_t count) override {
    const bool written = line->Write(data, count);
    Count();
    return written;
  }
  bool Read(uint8_t* data, uint32_t count) override {
    const bool read = line->Read(data, count);
    Count();
    return read;
  }
  uint32_t Operations() const { return seen; }

 private:
  void Count() {
    if (++seen == operation && state.deviceAnswered.load()) ConfirmCancel(state);
  }

  std::unique_ptr<SerialChannel> line;
  UpdateState& state;
  const uint32_t operation;
  uint32_t seen = 0;
};

struct Failure {
  const char* name;
  std::vector<UpdateTarget> targets;
  std::string scenario;
  std::string statusLine;  // the reason the update ends for; kFilePathMark for the file
  std::string rowStatus;   // the failed target's row
  TargetOutcome outcome;   // the failed target's, for the log
};

std::vector<Failure> Failures() {
  const Bytes mismatching = AssembleXsvf(
      "XSTATE RESET\nXSIR 8 0x01\nXSDRSIZE 8\nXSDRTDO 0x00 0xa5\nXCOMPLETE\n");
  Bytes cutBlock = FirmwareBlocks(FirmwareImage(90, 3), 40);
  cutBlock.resize(cutBlock.size() - 5);  // the last block ends early
  UpdateTarget cut = FirmwareTarget(2, " Io", 1);
  cut.data = cutBlock;
  return {
      {"silence", {FirmwareTarget(1, " Main", 4)}, "target 01 firmware\nfault silence block 3\n",
       MessageText(MsgNotResponding), MessageText(MsgUnsuccessful), TargetOutcome::Failed},
      {"bad replies", {FirmwareTarget(1, " Main", 4)},
       "target 01 firmware\nfault reply block 2 x4 0x55\n", MessageText(MsgWrongAnswer), "",
       TargetOutcome::PartlySent},
      {"format error", {FirmwareTarget(1, " Main", 2), cut},
       "target 01 firmware\ntarget 02 firmware\n",
       FormatMessageText(MsgBadRecord, kFilePathMark), "", TargetOutcome::PartlySent},
      {"TDO mismatch", {XsvfTarget(3, " Logic", mismatching)}, "target 03 jtag demo\n",
       MessageText(MsgTdoMismatch), MessageText(MsgUnsuccessful), TargetOutcome::Failed},
  };
}

// Runs the update with the cancel confirmed at the n-th port operation; returns
// how many operations the line saw.
uint32_t RunWithCancelAt(UpdateState& state, const std::string& path, const Failure& failure,
                         uint32_t operation) {
  state.filePath.Set(path);
  std::string message;
  EXPECT_TRUE(OpenUpdateFile(state, &message)) << message;
  auto line = std::make_unique<CancelAtOperation>(
      std::make_unique<SimPort>(MakeDevice(failure.scenario)), state, operation);
  CancelAtOperation* counter = line.get();
  state.port.Attach(std::move(line));
  state.port.SetTimeouts(1);
  ClearRowsForUpdate(state);
  state.runState.store(RunState::Running);
  UpdateWorker(state, UpdateHost());
  const uint32_t operations = counter->Operations();
  CloseUpdateResources(state);
  return operations;
}

// Whatever the moment the user confirms the cancel, an update that ends on a
// failure ends with its reason, and one that ends on the cancel says so: the
// cancel's text never stands for a failure, nor a failure's for a cancel.
TEST(EndingRace, ACancelAtAnyMomentLeavesTheReasonTheUpdateEndedFor) {
  for (const Failure& failure : Failures()) {
    SCOPED_TRACE(failure.name);
    const std::string path = SaveCaseFile("race", BuildFile("V1.01", failure.targets));
    UpdateCase withPath;
    withPath.statusLine = failure.statusLine;
    const std::string reason = ExpectedStatusLine(withPath, path);
    UpdateState uncancelled;
    const uint32_t operations = RunWithCancelAt(uncancelled, path, failure, 0);
    ASSERT_EQ(uncancelled.runState.load(), RunState::Finished);
    ASSERT_EQ(uncancelled.statusLine.Get(), reason);
    // A target given up or cut off while its data went out is partly sent, not
    // "not reached".
    EXPECT_EQ(uncancelled.CurrentRow().outcome.load(), failure.outcome);
    EXPECT_FALSE(EndedResult(uncancelled).completed);
    size_t endedByFailure = 0;
    for (uint32_t operation = 1; operation <= operations; ++operation) {
      UpdateState state;
      RunWithCancelAt(state, path, failure, operation);
      const RunState ended = state.runState.load();
      if (ended == RunState::Finished) {
        ++endedByFailure;
        EXPECT_EQ(state.statusLine.Get(), reason) << "cancel at operation " << operation;
        if (!failure.rowStatus.empty()) {
          EXPECT_EQ(state.CurrentRow().status.Get(), failure.rowStatus) << operation;
        }
      } else {
        EXPECT_EQ(ended, RunState::Aborted) << operation;
        EXPECT_EQ(state.statusLine.Get(), MessageText(MsgCancelledByUser)) << operation;
      }
    }
    // The last operations come after the worker saw its last chance to stop on
    // the cancel: there, the cancel and the failure meet in the same instant.
    EXPECT_GE(endedByFailure, 1u);
  }
}

// Several updates at once, on threads of their own, each against its own device
// with its own fault: each ends with its own result, and nothing one does shows
// in another.
TEST(ParallelUpdates, EachEndsWithItsOwnStatusLine) {
  struct Device {
    const char* name;
    std::vector<UpdateTarget> targets;
    std::string scenario;
    std::string statusLine;
  };
  const std::vector<Device> devices = {
      {"clean", {FirmwareTarget(1, " Main", 5)}, "target 01 firmware\n",
       FormatMessageText(MsgResult, 1, 1)},
      {"silent", {FirmwareTarget(1, " Main", 5)}, "target 01 firmware\nfault silence start 1\n",
       MessageText(MsgNotResponding)},
      {"damaged", {FirmwareTarget(1, " Main", 5)},
       "target 01 firmware\nfault repeat block 2 x4\n", MessageText(MsgCrcError)},
      {"missing", {FirmwareTarget(1, " Main", 2), FirmwareTarget(2, " Io", 2)},
       "target 01 firmware 3\n", FormatMessageText(MsgResult, 3, 4)},
      {"jtag", {XsvfTarget(3, " Logic", DemoChipProgram())}, "target 03 jtag demo\n",
       FormatMessageText(MsgResult, 1, 1)},
      {"mismatch", {XsvfTarget(3, " Logic", DemoChipProgram())},
       "target 03 jtag demo\nfault mismatch shift 5 x40\n",
       MessageText(MsgTdoMismatch)},
  };
  std::vector<std::unique_ptr<UpdateState>> states;
  std::vector<std::thread> threads;
  for (const Device& device : devices) {
    states.push_back(std::make_unique<UpdateState>());
    UpdateState& state = *states.back();
    const std::string path = SaveCaseFile(std::string("parallel_") + device.name,
                                          BuildFile("V1.01", device.targets));
    state.filePath.Set(path);
    std::string message;
    ASSERT_TRUE(OpenUpdateFile(state, &message)) << message;
    state.port.Attach(std::make_unique<SimPort>(MakeDevice(device.scenario)));
    state.port.SetTimeouts(1);
    ClearRowsForUpdate(state);
    state.runState.store(RunState::Running);
    UpdateHost host;
    host.player.debugLogPath = std::string("xsvf_debug-") + device.name + ".txt";
    host.player.comment = [](const std::string&) {};
    threads.emplace_back([&state, host] { UpdateWorker(state, host); });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(states[i]->statusLine.Get(), devices[i].statusLine) << devices[i].name;
    CloseUpdateResources(*states[i]);
  }
}

}  // namespace

namespace {

// The read-through before an update, in the window's steps: a good file updates
// from where the read-through left it, as it would have without it; a cut and a
// damaged file end with their status line before the port is opened, so the
// device never sees a byte.
TEST(ReadThroughBeforeAnUpdate, OnlyAGoodFileReachesTheDevice) {
  const Bytes good = BuildFile("V1.01",
                               {FirmwareTarget(1, " Main", 3), RunLengthFirmwareTarget(2, " Display"),
                                XsvfTarget(3, " Logic", DemoChipProgram())},
                               Trailer::Checksum);
  Bytes damaged = good;
  damaged[good.size() / 2] ^= 0x10;
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"read_through_good", good},
      {"read_through_cut", Bytes(good.begin(), good.begin() + good.size() / 2)},
      {"read_through_damaged", damaged},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    UpdateState state;
    const std::string path = SaveCaseFile(name, bytes);
    state.filePath.Set(path);
    std::string message;
    ASSERT_TRUE(OpenUpdateFile(state, &message)) << message;
    const UpdateFileCheck check =
        ReadThroughUpdateFile(state.updateFile, state.filePath.Get(), TrustedKeys());
    if (name == "read_through_cut") {
      EXPECT_EQ(check.statusLine, FormatMessageText(MsgBadRecord, path.c_str()));
    } else if (name == "read_through_damaged") {
      EXPECT_EQ(check.statusLine, FormatMessageText(MsgFileDamaged, path.c_str()));
    }
    if (!check.good) {
      CloseUpdateResources(state);
      continue;
    }
    const std::shared_ptr<BootLoaderSim> device =
        MakeDevice("target 01 firmware\ntarget 02 firmware\ntarget 03 jtag demo\n");
    state.port.Attach(std::make_unique<SimPort>(device));
    ClearRowsForUpdate(state);
    state.runState.store(RunState::Running);
    UpdateHost host;
    host.player.comment = [](const std::string&) {};
    UpdateWorker(state, host);
    EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 3, 3));
    CloseUpdateResources(state);
  }
}

}  // namespace

namespace {

// The line to the device, on which the device's reply to every command frame of
// one letter is replaced: a device that refuses what the frame asked.
class ReplacingLine : public SerialChannel {
 public:
  ReplacingLine(std::unique_ptr<SerialChannel> line, uint8_t letter, uint8_t reply)
      : line(std::move(line)), letter(letter), reply(reply) {}

  bool SetTimeouts(uint32_t timeoutMs) override { return line->SetTimeouts(timeoutMs); }

  bool Write(const uint8_t* data, uint32_t count) override {
    replaceNext = count >= 4 && data[2] == letter;
    return line->Write(data, count);
  }

  bool Read(uint8_t* data, uint32_t count) override {
    const bool read = line->Read(data, count);
    if (read && replaceNext && count == 1) data[0] = reply;
    replaceNext = false;
    return read;
  }

 private:
  std::unique_ptr<SerialChannel> line;
  const uint8_t letter;
  const uint8_t reply;
  bool replaceNext = false;
};

LineWrapper Replacing(uint8_t letter, uint8_t reply) {
  return [letter, reply](std::unique_ptr<SerialChannel> line) -> std::unique_ptr<SerialChannel> {
    return std::make_unique<ReplacingLine>(std::move(line), letter, reply);
  };
}

Bytes TwoFirmwareTargetsAndAProgram() {
  return BuildFile("V1.01", {FirmwareTarget(1, " Main", 3), FirmwareTarget(2, " Display", 2),
                             XsvfTarget(3, " Logic", DemoChipProgram())});
}

const char kThreeTargets[] = "target 01 firmware\ntarget 02 firmware\ntarget 03 jtag demo\n";

// A device that answers a wait with 0x44 has not waited (an erase time, say): the
// update ends on that, not on "3 of 3 targets updated successfully.".
TEST(RefusingDevice, ARefusedWaitEndsTheUpdate) {
  const std::string path = SaveCaseFile("refused_wait", TwoFirmwareTargetsAndAProgram());
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device = MakeDevice(kThreeTargets);

  EXPECT_EQ(RunUpdate(state, path, device, {}, UpdateHost(), Replacing('T', ReplyEnd)), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), "Failed: Target refused a TAP step or a wait");
  EXPECT_EQ(state.rows[2].status.Get(), MessageText(MsgUnsuccessful));
  EXPECT_EQ(state.playerError.load(), XsvfRefused);
  EXPECT_EQ(device->Counters().commands['T'], 1u);  // nothing of the program after it
}

// A refused end after a program that passed: the update passes, with a warning.
TEST(RefusingDevice, AnUnconfirmedEndPassesWithAWarning) {
  const std::string path = SaveCaseFile("unconfirmed_end", TwoFirmwareTargetsAndAProgram());
  UpdateState state;
  std::vector<std::string> warnings;
  UpdateHost host;
  host.warning = [&warnings](const std::string& text) { warnings.push_back(text); };

  EXPECT_EQ(RunUpdate(state, path, MakeDevice(kThreeTargets), {}, host, Replacing('F', ReplyAck)),
            RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), "3 of 3 targets updated successfully.");
  EXPECT_EQ(warnings,
            std::vector<std::string>{"Warning: Target did not confirm the end of the JTAG program."});
}

}  // namespace

// A technician replaces one board: the targets left out are neither queried nor
// selected, their rows say so, and the result counts the chosen targets alone.
TEST(ChosenTargets, TargetsLeftOutAreNeverAskedFor) {
  const std::string path = SaveCaseFile(
      "chosen_targets", BuildFile("V1.01", {FirmwareTarget(1, " Main", 2),
                                            FirmwareTarget(2, " Io", 2),
                                            FirmwareTarget(3, " Power", 2)}));
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device =
      MakeDevice("target 01 firmware\ntarget 02 firmware\ntarget 03 firmware\n");
  UpdateHost host;
  host.selected = {true, false, true};

  EXPECT_EQ(RunUpdate(state, path, device, {}, host), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 2, 2));
  ExpectRows(state, {{100, "", ""}, {0, MessageText(MsgNotSelected), ""}, {100, "", ""}});
  for (const SeenRequest& request : device->Requests()) EXPECT_NE(request.targetId, 2);
  EXPECT_TRUE(EndReachedDevice(*device));
  EXPECT_EQ(EndedResult(state).successes, EndedResult(state).total);
}

// A cancel marks the targets still to come as cancelled, but not those left out,
// and an update that ends early does not count them either.
TEST(ChosenTargets, ACancelLeavesTargetsLeftOutAsTheyWere) {
  const std::string path = SaveCaseFile(
      "chosen_cancel", BuildFile("V1.01", {FirmwareTarget(1, " Main", 3),
                                           FirmwareTarget(2, " Io", 3),
                                           FirmwareTarget(3, " Power", 3)}));
  UpdateState state;
  const std::shared_ptr<BootLoaderSim> device =
      MakeDevice("target 01 firmware\ntarget 02 firmware\ntarget 03 firmware\n");
  UpdateHost host;
  host.selected = {true, true, false};

  EXPECT_EQ(RunUpdate(state, path, device, {CancelPoint::DataWrite, 1, 0}, host), RunState::Aborted);
  ExpectRows(state, {{33, MessageText(MsgCancelled), ""}, {0, MessageText(MsgCancelled), ""},
                     {0, MessageText(MsgNotSelected), ""}});
  EXPECT_EQ(EndedResult(state).total, 2);
}
