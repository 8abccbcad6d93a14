#include "testsupport/sim_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <thread>

#include "engine/boot_protocol.h"
#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_session.h"
#include "engine/update_worker.h"
#include "engine/update_writer.h"
#include "sim/scenario.h"
#include "testsupport/sim_test_support.h"
#include "testsupport/update_cases.h"
#include "xsvf/file_bytes.h"

namespace {

constexpr uint64_t kMs = 1000;

class SimPortTest : public ::testing::Test {
 protected:
  void Connect(const DeviceConfig& config) {
    device = std::make_shared<BootLoaderSim>(config);
    port = std::make_unique<SimPort>(device);
  }

  bool Send(const Bytes& bytes) { return port->Write(bytes.data(), static_cast<uint32_t>(bytes.size())); }

  std::shared_ptr<BootLoaderSim> device;
  std::unique_ptr<SimPort> port;
};

TEST_F(SimPortTest, SwitchOnDelayCostsProbeTimeoutsNotRealTime) {
  DeviceConfig config;
  config.switchOnDelayMs = 100;
  Connect(config);
  port->SetTimeouts(1);
  int unanswered = 0;
  uint8_t reply = 0;
  for (; unanswered < 1000; ++unanswered) {
    Send({0xA4});
    if (port->Read(&reply, 1)) break;
  }
  // Each probe that gets nothing costs 1 * 1 + 1 = 2 ms of the virtual clock.
  EXPECT_EQ(unanswered, 50);
  EXPECT_EQ(reply, 0x11);
  EXPECT_EQ(port->NowUs(), 100 * kMs);
}

TEST_F(SimPortTest, ReadsEndByTheTimeoutRule) {
  DeviceConfig config;
  config.targets = {SimFirmwareTarget(0x01)};
  Connect(config);
  port->SetTimeouts(150);
  uint8_t buffer[3] = {};
  EXPECT_FALSE(port->Read(buffer, 1));
  EXPECT_EQ(port->NowUs(), 300 * kMs) << "t * 1 + t";
  EXPECT_FALSE(port->Read(buffer, 3));
  EXPECT_EQ(port->NowUs(), 900 * kMs) << "t * 3 + t";
  // One byte comes, the second does not: the interval limit ends the read.
  Send({0xA4});
  EXPECT_FALSE(port->Read(buffer, 2));
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(port->NowUs(), 1050 * kMs);
  // Bytes that are there are taken at once.
  Send({0xA4, 0xA3});
  EXPECT_TRUE(port->Read(buffer, 2));
  EXPECT_EQ(buffer[1], 0x88);
  EXPECT_EQ(port->NowUs(), 1050 * kMs);
}

// The device works through a wait on the virtual clock and reports busy every
// 100 ms meanwhile, so that no read of the host times out however long it waits.
TEST_F(SimPortTest, DeviceWaitsPassOnTheVirtualClockReportingBusy) {
  DeviceConfig config;
  config.targets = {SimDemoJtagTarget(0x05)};
  config.openSessionOn = 0x05;
  Connect(config);
  port->SetTimeouts(150);
  Send(Frame({'T', 0x00, 0x0F, 0x42, 0x40}));  // 1 s
  uint8_t reply = 0;
  int busy = 0;
  while (port->Read(&reply, 1) && reply == 0x33) ++busy;
  EXPECT_EQ(reply, 0x11);
  EXPECT_EQ(busy, 9);
  EXPECT_EQ(port->NowUs(), 1000 * kMs);
}

// A device that stops reading: the line holds what fits its buffer, then a write
// fails once its time limit has passed on the virtual clock.
TEST_F(SimPortTest, WritesToADeafDeviceFailAtTheirLimitOnceTheBufferIsFull) {
  DeviceConfig config;
  config.faults = {MakeFault(FaultKind::Deaf, FaultPoint::Start, 1)};
  Connect(config);
  ASSERT_TRUE(port->SetTimeouts(150));
  ASSERT_TRUE(Send({0xA3}));
  uint8_t reply = 0;
  ASSERT_TRUE(port->Read(&reply, 1));
  EXPECT_EQ(reply, 0x88);
  const Bytes block(SimPort::kLineBufferBytes / 4, 0x00);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(Send(block)) << "the line's buffer takes it";
  const uint64_t before = port->NowUs();
  EXPECT_FALSE(Send({0xA4}));
  EXPECT_EQ(port->NowUs() - before, WriteLimitMs(57600, 1) * kMs);
  EXPECT_EQ(device->Counters().bytesUnread, SimPort::kLineBufferBytes);
}

// The engine's exchanges against the simulated device, through a CSerialPort,
// with the update file on disk as the worker reads it.
class SimConversationTest : public ::testing::Test {
 protected:
  void Connect(const DeviceConfig& config) {
    device = std::make_shared<BootLoaderSim>(config);
    auto line = std::make_unique<SimPort>(device);
    port = line.get();
    ASSERT_TRUE(state.port.Attach(std::move(line)));
    ASSERT_TRUE(state.port.SetTimeouts(1));
  }

  // Writes an update file with the targets and opens it as the Update button does.
  void LoadFile(const std::vector<UpdateTarget>& targets) {
    std::vector<uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(BuildUpdateFile("V1.01", targets, &bytes, &reason)) << reason;
    ASSERT_TRUE(WriteFileBytes(kFileName, bytes));
    state.filePath.Set(kFileName);
    std::string message;
    ASSERT_TRUE(OpenUpdateFile(state, &message)) << message;
    reader = std::make_unique<UpdateFileReader>(state.updateFile, state.formatVersion);
  }

  // Reads the next record's header and readies the reader for its data.
  void NextRecord(uint32_t* id) {
    ASSERT_TRUE(reader->ReadTargetId(id));
    ASSERT_TRUE(reader->ReadRecordHeader());
    reader->StartRecordData();
  }

  static constexpr const char* kFileName = "sim_conversation.upd";
  UpdateState state;
  std::unique_ptr<UpdateFileReader> reader;
  std::shared_ptr<BootLoaderSim> device;
  SimPort* port = nullptr;
};

Bytes Image(size_t size) {
  Bytes image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return image;
}

TEST_F(SimConversationTest, FirmwareArrivesWholeDespiteBusyAndDamagedBlocks) {
  DeviceConfig config;
  config.switchOnDelayMs = 400;
  config.targets = {SimFirmwareTarget(0x01, {2})};
  // More 0x33 than the time-out limit (busy is not silence), and as many damaged
  // replies in a row as the host takes before it gives up.
  config.faults = {MakeFault(FaultKind::Busy, FaultPoint::Block, 1, 30),
                   MakeFault(FaultKind::Repeat, FaultPoint::Block, 3, 3)};
  Connect(config);
  UpdateTarget target;
  target.id = 0x01;
  target.name = " Main";
  target.data = FirmwareBlocks(Image(2500), 998);
  LoadFile({target});

  ReplyReader replies(state.port);
  ASSERT_EQ(WakeDevice(state), Exchange::Done);
  EXPECT_GE(port->NowUs(), 400 * kMs);
  ASSERT_EQ(StartBootLoader(state, replies), Exchange::Done);
  uint32_t id = 0;
  NextRecord(&id);
  uint32_t multiplicity = 0;
  ASSERT_EQ(QueryMultiplicity(state, replies, 0x01, &multiplicity), Exchange::Done);
  EXPECT_EQ(multiplicity, 2u);
  bool cancelled = false;
  ASSERT_EQ(SelectTarget(state, replies, 0x01, false, &cancelled), ReplyAck);
  ASSERT_EQ(SendFirmware(state, replies, *reader), Exchange::Done);
  ASSERT_TRUE(reader->ReadTargetId(&id));
  EXPECT_EQ(id, 0u);
  SendEnd(state);

  EXPECT_EQ(device->ReceivedFirmware(0x01), target.data);
  EXPECT_EQ(device->Counters().blocks, 3u);
  EXPECT_EQ(device->Counters().ends, 1u);
  EXPECT_EQ(device->Counters().bytesIgnored, 0u) << "every host byte had its place";
}

// A whole update on the worker thread; the test looks at the device once the
// worker has left Running.
TEST_F(SimConversationTest, WholeUpdateOnTheWorkerThread) {
  DeviceConfig config;
  config.switchOnDelayMs = 1500;
  config.targets = {SimFirmwareTarget(0x01), SimFirmwareTarget(0x02, {})};
  Connect(config);
  UpdateTarget main, panel;
  main.id = 0x01;
  main.name = " Main";
  main.data = FirmwareBlocks(Image(5000));
  panel.id = 0x02;
  panel.name = " Panel";
  panel.runLengthCoded = true;
  panel.data = FirmwareBlocks(Bytes(1500, 0xFF), 500);
  LoadFile({main, panel});

  state.runState.store(RunState::Running);
  std::thread([this] { UpdateWorker(state, UpdateHost()); }).join();
  EXPECT_EQ(state.runState.load(), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), FormatMessageText(MsgResult, 2, 2));
  EXPECT_EQ(device->ReceivedFirmware(0x01), main.data);
  EXPECT_EQ(device->ReceivedFirmware(0x02), panel.data);
  // The silent query of the second target cost one read time-out, of 300 ms.
  EXPECT_GE(port->NowUs(), 1800 * kMs);
  EXPECT_EQ(device->Requests().back(), (SeenRequest{CmdEnd, 0}));
}

// Whole updates against devices that would hold the host for ever, each ending
// on the virtual clock as a device that does not respond: busy without end (every
// 100 ms, or as fast as the line goes), and a device that stops reading.
struct HeldCase {
  const char* fault;
  const char* unsuccessfulRow;  // the row the update ended in
};

void PrintTo(const HeldCase& held, std::ostream* out) { *out << held.fault; }

class HeldUpdate : public SimConversationTest, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldUpdate, EndsAsNotResponding) {
  DeviceConfig config;
  std::string error;
  for (const char* line : {"target 01 firmware", "target 03 jtag demo", GetParam().fault}) {
    ASSERT_TRUE(ApplyScenarioLine(line, config, &error)) << error;
  }
  Connect(config);
  LoadFile({FirmwareTarget(0x01, " Main", 4), XsvfTarget(0x03, " Logic", DemoChipProgram())});

  state.runState.store(RunState::Running);
  std::thread([this] { UpdateWorker(state, UpdateHost()); }).join();
  EXPECT_EQ(state.runState.load(), RunState::Finished);
  EXPECT_EQ(state.statusLine.Get(), "Failed: Target is not responding");
  const int row = GetParam().unsuccessfulRow[0] - '0';
  EXPECT_EQ(state.rows[row].status.Get(), "unsuccessful");
  // The busy limit (a minute) and what came before it, not more.
  EXPECT_LT(port->NowUs(), 90'000 * kMs);
}

INSTANTIATE_TEST_SUITE_P(Devices, HeldUpdate,
                         ::testing::Values(HeldCase{"fault stuck start 1", "0"},
                                           HeldCase{"fault stuck block 2", "0"},
                                           HeldCase{"fault flood block 3 0x33", "0"},
                                           HeldCase{"fault flood start 1 0x11", "0"},
                                           HeldCase{"fault stuck frame 20", "1"},
                                           HeldCase{"fault flood frame 30 0x33", "1"},
                                           HeldCase{"fault deaf block 2", "0"},
                                           HeldCase{"fault deaf frame 10", "1"}));

}  // namespace
