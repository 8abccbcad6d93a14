#include "sim/boot_loader_sim.h"
#include "sim/jtag_executor.h"

#include <gtest/gtest.h>

#include "testsupport/sim_test_support.h"

namespace {

// A shift of 8 bits that compares TDO under an all-zero mask: it always passes
// unless a mismatch is forced.
const Bytes kComparedShift = {'S', 0x3B, 0x00, 0x08, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00};

DeviceConfig OneFirmwareTarget() {
  DeviceConfig config;
  config.targets = {SimFirmwareTarget(0x01)};
  return config;
}

DeviceConfig SessionOnDemoChip() {
  DeviceConfig config;
  config.targets = {SimDemoJtagTarget(0x05)};
  config.openSessionOn = 0x05;
  return config;
}

TEST(BootLoaderSim, AnswersAFirmwareUpdateByteForByte) {
  DeviceTalk talk(OneFirmwareTarget());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(talk.Say({0xA4}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0xA3}), Bytes{0x88});
  EXPECT_EQ(talk.Say({0xA5, 0x01, 0x00}), Bytes{0x01});
  EXPECT_EQ(talk.Say({0xA5, 0x01, 0x00}), Bytes{0x01});
  EXPECT_EQ(talk.Say({0xA0, 0x01, 0xFE}), Bytes{0x11});
  // Payload bytes of 0xA0 and above are data inside a block, not requests.
  EXPECT_EQ(talk.Say({0x00, 0x03, 0xA4, 0xA2, 0x07}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0x00, 0x00}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0xA2}), Bytes{});
  EXPECT_EQ(talk.Say({0xA4, 0xA3}), Bytes{}) << "the update is over";

  EXPECT_EQ(talk.device->ReceivedFirmware(0x01), (Bytes{0x00, 0x03, 0xA4, 0xA2, 0x07, 0x00, 0x00}));
  EXPECT_EQ(talk.device->Blocks(0x01).size(), 2u);
  const std::vector<SeenRequest>& seen = talk.device->Requests();
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen[5], (SeenRequest{0xA3, 0}));
  EXPECT_EQ(seen[6], (SeenRequest{0xA5, 0x01}));
  EXPECT_EQ(seen[8], (SeenRequest{0xA0, 0x01}));
  EXPECT_EQ(seen[9], (SeenRequest{0xA2, 0}));
  EXPECT_EQ(talk.device->Counters().bytesIgnored, 2u);
}

TEST(BootLoaderSim, SelectionAnswers) {
  DeviceConfig config = OneFirmwareTarget();
  config.targets.push_back(SimDemoJtagTarget(0x05));
  DeviceTalk talk(config);
  talk.Start();
  // A damaged pair is awaited again without a new 0xA0.
  EXPECT_EQ(talk.Say({0xA0, 0x01, 0xFF}), Bytes{0x22});
  EXPECT_EQ(talk.Say({0x01, 0xFE}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0x00, 0x01, 0x42}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0xA0, 0x07, 0xF8}), Bytes{0x44}) << "unknown id";
  // A JTAG target wants its kind bytes before the session opens.
  EXPECT_EQ(talk.Say({0xA0, 0x05, 0xFA}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0xFF, 0x00}), Bytes{0x11});
  EXPECT_EQ(talk.Say(Frame({'F'})), Bytes{0x44});
  EXPECT_EQ(talk.Say({0xA0, 0x05, 0xFA, 0xFE, 0xFF}), (Bytes{0x11, 0x44})) << "wrong kind";
  // Selecting a firmware target again starts its firmware afresh.
  EXPECT_EQ(talk.Say({0xA0, 0x01, 0xFE}), Bytes{0x11});
  EXPECT_TRUE(talk.device->Blocks(0x01).empty());
  EXPECT_EQ(talk.device->Counters().selections, 5u) << "resent pairs are no new selections";
}

TEST(BootLoaderSim, QueryAnswersFollowTheTargetConfiguration) {
  DeviceConfig config;
  config.targets = {SimFirmwareTarget(0x01, {3}), SimFirmwareTarget(0x02, {3, 2}),
                    SimFirmwareTarget(0x03, {})};
  DeviceTalk talk(config);
  talk.Start();
  const Bytes queryOne{0xA5, 0x01, 0x00}, queryTwo{0xA5, 0x02, 0x00};
  EXPECT_EQ(talk.Say(queryOne), Bytes{3});
  EXPECT_EQ(talk.Say(queryOne), Bytes{3});
  EXPECT_EQ(talk.Say(queryTwo), Bytes{3});
  EXPECT_EQ(talk.Say(queryTwo), Bytes{2});
  EXPECT_EQ(talk.Say(queryTwo), Bytes{3});
  EXPECT_EQ(talk.Say({0xA5, 0x03, 0x00}), Bytes{}) << "configured silent";
  EXPECT_EQ(talk.Say({0xA5, 0x09, 0x00}), Bytes{}) << "unknown id";
  EXPECT_EQ(talk.Say({0xA5, 0x01, 0x01}), Bytes{}) << "third byte not 0";
  // Answers count afresh after a power cycle.
  talk.device->PowerCycle();
  talk.Start();
  EXPECT_EQ(talk.Say(queryTwo), Bytes{3});
}

TEST(BootLoaderSim, BlockBoundariesAndLimits) {
  DeviceTalk talk(OneFirmwareTarget());
  talk.Start();
  talk.Say({0xA0, 0x01, 0xFE});
  Bytes largest{0x03, 0xE6};
  largest.resize(2 + 998, 0x5A);
  EXPECT_EQ(talk.Say(largest), Bytes{0x11});
  EXPECT_EQ(talk.Say({0x03, 0xE7}), Bytes{0x22}) << "999 payload bytes do not fit";
  // Where a block would start, a request byte ends the firmware.
  EXPECT_EQ(talk.Say({0xA5, 0x01, 0x00}), Bytes{0x01});
  EXPECT_EQ(talk.Say({0x00, 0x00}), Bytes{}) << "no longer receiving firmware";
  EXPECT_EQ(talk.device->Blocks(0x01).size(), 1u);
}

TEST(BootLoaderSim, SilentUntilTheSwitchOnDelayHasPassed) {
  DeviceConfig config = OneFirmwareTarget();
  config.switchOnDelayMs = 500;
  DeviceTalk talk(config);
  EXPECT_EQ(talk.Say({0xA4}, 1000), Bytes{});
  EXPECT_EQ(talk.Say({0xA4}, 500'999), Bytes{});
  EXPECT_FALSE(talk.device->SwitchedOn());
  EXPECT_EQ(talk.Say({0xA4}, 501'000), Bytes{0x11});
  // Switched off and on again: the delay counts from the next host byte.
  talk.device->PowerCycle();
  EXPECT_EQ(talk.Say({0xA4}, 2'000'000), Bytes{});
  EXPECT_EQ(talk.Say({0xA4}, 2'500'000), Bytes{0x11});
}

// Switched off in the middle of a long JTAG wait, the device starts afresh: it
// answers at once, and its JTAG port has forgotten its state and its vectors.
TEST(BootLoaderSim, PowerCycleEndsWorkInProgressAndResetsTheJtagPort) {
  DeviceTalk talk(SessionOnDemoChip());
  talk.Say(Frame({'B', 0x00, 0x01, 0x11}));        // one TAP step: Run-Test/Idle
  talk.Say(Frame({'T', 0x3B, 0x9A, 0xCA, 0x00}));  // a wait of 1000 s
  talk.device->PowerCycle();
  EXPECT_EQ(talk.device->Executor(0x05)->Tap().State(), JtagState::TestLogicReset);
  const uint8_t probe = 0xA4;
  talk.device->Receive(&probe, 1, 1'000'000);
  ASSERT_TRUE(talk.device->HasOutput());
  EXPECT_EQ(talk.device->NextOutput().atUs, 1'000'000u);
}

TEST(BootLoaderSim, JtagSessionFrames) {
  DeviceConfig config = SessionOnDemoChip();
  DeviceTalk talk(config);
  ASSERT_NE(talk.device->Executor(0x05), nullptr) << "session open at switch-on";
  EXPECT_EQ(talk.Say(Frame({'B', 0x10})), Bytes{0x11});
  Bytes damaged = Frame({'B', 0x10});
  damaged.back() ^= 0x01;
  EXPECT_EQ(talk.Say(damaged), Bytes{0x22});
  EXPECT_EQ(talk.Say({0x00, 0x02, 0x00, 0x00}), Bytes{0x22}) << "empty payload";
  EXPECT_EQ(talk.Say({0x03, 0xE9}), Bytes{0x22}) << "longer than a frame can be";
  // A read-back answer follows its 0x11: length, 'R', two nibbles, CRC.
  const Bytes readBack = talk.Say(Frame({'R', 0x00, 0x08}));
  ASSERT_EQ(readBack.size(), 8u);
  EXPECT_EQ(readBack[0], 0x11);
  EXPECT_EQ(readBack[3], 'R');
  EXPECT_EQ(talk.Say(Frame({'F'})), Bytes{0x44});
  EXPECT_EQ(talk.Say({0xA4}), Bytes{0x11}) << "back to requests";
  EXPECT_EQ(talk.device->Counters().commands.at('B'), 1u) << "damaged frames are not carried out";
}

TEST(BootLoaderSim, WaitsDelayTheReplyUnlessTurnedOff) {
  const Bytes wait = Frame({'T', 0x00, 0x00, 0x03, 0xE8});
  for (bool honour : {true, false}) {
    DeviceConfig config = SessionOnDemoChip();
    config.honourWaits = honour;
    BootLoaderSim device(config);
    device.Receive(wait.data(), wait.size(), 10);
    // The next command is carried out only after the wait.
    device.Receive(wait.data(), wait.size(), 20);
    ASSERT_TRUE(device.HasOutput());
    EXPECT_EQ(device.TakeOutput().atUs, honour ? 1010u : 10u);
    EXPECT_EQ(device.TakeOutput().atUs, honour ? 2010u : 20u);
  }
}

TEST(BootLoaderSim, CancelByteEndsASession) {
  DeviceTalk talk(SessionOnDemoChip());
  EXPECT_EQ(talk.Say({0xA2}), Bytes{});
  EXPECT_EQ(talk.Say(Frame({'F'})), Bytes{}) << "the update is over";
}

TEST(BootLoaderSimFaults, ExtraBytesBeforeTheAnswer) {
  DeviceConfig config = SessionOnDemoChip();
  config.faults = {MakeFault(FaultKind::Noise, FaultPoint::Wake, 2, 2, 0x5A),
                   MakeFault(FaultKind::Busy, FaultPoint::Frame, 1, 3),
                   MakeFault(FaultKind::Noise, FaultPoint::Byte, 1, 1, 0x01)};
  DeviceTalk talk(config);
  EXPECT_EQ(talk.Say(Frame({'F'})), (Bytes{0x01, 0x33, 0x33, 0x33, 0x44}));
  EXPECT_EQ(talk.Say({0xA4}), Bytes{0x11});
  EXPECT_EQ(talk.Say({0xA4}), (Bytes{0x5A, 0x5A, 0x11}));
  EXPECT_EQ(talk.Say({0xA4}), Bytes{0x11});
  EXPECT_EQ(talk.device->Counters().faultsStruck, 3u);
}

TEST(BootLoaderSimFaults, DamagedAndBadRepliesDropTheMessageUntilItIsSentAgain) {
  DeviceConfig config = OneFirmwareTarget();
  config.faults = {MakeFault(FaultKind::Repeat, FaultPoint::Block, 2, 2),
                   MakeFault(FaultKind::BadReply, FaultPoint::Selection, 1, 1, 0x55)};
  DeviceTalk talk(config);
  talk.Start();
  EXPECT_EQ(talk.Say({0xA0, 0x01, 0xFE}), Bytes{0x55});
  EXPECT_EQ(talk.Say({0x01, 0xFE}), Bytes{0x11});
  const Bytes first{0x00, 0x01, 0xAA}, second{0x00, 0x01, 0xBB};
  EXPECT_EQ(talk.Say(first), Bytes{0x11});
  EXPECT_EQ(talk.Say(second), Bytes{0x22});
  EXPECT_EQ(talk.Say(second), Bytes{0x22});
  EXPECT_EQ(talk.Say(second), Bytes{0x11});
  EXPECT_EQ(talk.device->ReceivedFirmware(0x01), (Bytes{0x00, 0x01, 0xAA, 0x00, 0x01, 0xBB}));
}

TEST(BootLoaderSimFaults, EarlyEndTakesTheBlockAndEndsTheTarget) {
  DeviceConfig config = OneFirmwareTarget();
  config.faults = {MakeFault(FaultKind::EarlyEnd, FaultPoint::Block, 1)};
  DeviceTalk talk(config);
  talk.Start();
  talk.Say({0xA0, 0x01, 0xFE});
  EXPECT_EQ(talk.Say({0x00, 0x01, 0xAA}), Bytes{0x44});
  EXPECT_EQ(talk.Say({0x00, 0x01, 0xBB}), Bytes{}) << "no longer receiving firmware";
  EXPECT_EQ(talk.device->Blocks(0x01).size(), 1u);
}

TEST(BootLoaderSimFaults, SilenceAndDisconnectEndAllAnswers) {
  for (FaultKind kind : {FaultKind::Silence, FaultKind::Disconnect}) {
    DeviceConfig config = OneFirmwareTarget();
    config.faults = {MakeFault(kind, FaultPoint::Block, 2)};
    DeviceTalk talk(config);
    talk.Start();
    talk.Say({0xA0, 0x01, 0xFE});
    EXPECT_EQ(talk.Say({0x00, 0x01, 0xAA}), Bytes{0x11});
    EXPECT_EQ(talk.Say({0x00, 0x01, 0xBB}), Bytes{});
    EXPECT_EQ(talk.Say({0xA4, 0xA3}), Bytes{});
    EXPECT_EQ(talk.device->Blocks(0x01).size(), 1u);
    EXPECT_EQ(talk.device->Disconnected(), kind == FaultKind::Disconnect);
  }
}

TEST(BootLoaderSimFaults, ForcedMismatchOnTheNthComparedShift) {
  DeviceConfig config = SessionOnDemoChip();
  config.faults = {MakeFault(FaultKind::Mismatch, FaultPoint::Shift, 2, 2)};
  DeviceTalk talk(config);
  const Bytes shift = Frame(kComparedShift);
  EXPECT_EQ(talk.Say(Frame({'S', 0x08, 0x00, 0x08, 0x01, 0x00})), Bytes{0x11})
      << "a shift that compares nothing is not counted";
  EXPECT_EQ(talk.Say(shift), Bytes{0x11});
  EXPECT_EQ(talk.Say(shift), Bytes{0x99});
  EXPECT_EQ(talk.Say(shift), Bytes{0x99});
  EXPECT_EQ(talk.Say(shift), Bytes{0x11});
}

TEST(BootLoaderSimFaults, CountsStartAfreshAfterAPowerCycle) {
  DeviceConfig config = OneFirmwareTarget();
  config.faults = {MakeFault(FaultKind::Repeat, FaultPoint::Wake, 1),
                   MakeFault(FaultKind::Busy, FaultPoint::Start, 1, 2),
                   MakeFault(FaultKind::Repeat, FaultPoint::Block, 1, 1),
                   MakeFault(FaultKind::EarlyEnd, FaultPoint::Byte, 1)};  // cannot strike there
  DeviceTalk talk(config);
  for (int cycle = 0; cycle < 2; ++cycle) {
    EXPECT_EQ(talk.Say({0xA4, 0xA4}), (Bytes{0x22, 0x11}));
    EXPECT_EQ(talk.Say({0xA3}), (Bytes{0x33, 0x33, 0x88}));
    talk.device->PowerCycle();
  }
}

// The misbehaving devices that hold a host: busy or a byte without end (the
// stream paced on the device's clock, so that a host on a virtual clock sees
// time pass), and a device that stops reading.
TEST(BootLoaderSimFaults, StuckAndFloodingDevicesSendWithoutEnd) {
  struct Case {
    Fault fault;
    uint8_t value;
    uint64_t periodUs;
  };
  const Case cases[] = {
      {MakeFault(FaultKind::Stuck, FaultPoint::Block, 2), 0x33, 100000},
      {MakeFault(FaultKind::Flood, FaultPoint::Block, 2, 1, 0x5A), 0x5A, 174},
  };
  for (const Case& c : cases) {
    DeviceConfig config = OneFirmwareTarget();
    config.faults = {c.fault};
    DeviceTalk talk(config);
    talk.Start();
    talk.Say({0xA0, 0x01, 0xFE});
    EXPECT_EQ(talk.Say({0x00, 0x01, 0xAA}, 1000), Bytes{0x11});
    EXPECT_EQ(talk.Say({0x00, 0x01, 0xBB}, 2000), Bytes{c.value}) << "the first at once";
    ASSERT_TRUE(talk.device->SendsWithoutEnd());
    for (uint64_t i = 1; i <= 1000; ++i) {
      const TimedByte next = talk.device->TakeOutput();
      ASSERT_EQ(next.value, c.value);
      ASSERT_EQ(next.atUs, 2000 + i * c.periodUs);
    }
    EXPECT_EQ(talk.Say({0xA4, 0xA3}, 2000), Bytes{}) << "nothing else is answered";
    EXPECT_EQ(talk.device->Blocks(0x01).size(), 1u);
    talk.device->PowerCycle();
    EXPECT_FALSE(talk.device->SendsWithoutEnd());
  }
}

TEST(BootLoaderSimFaults, ADeafDeviceAnswersTheOccurrenceThenReadsNothing) {
  DeviceConfig config = OneFirmwareTarget();
  config.faults = {MakeFault(FaultKind::Deaf, FaultPoint::Block, 1)};
  DeviceTalk talk(config);
  talk.Start();
  talk.Say({0xA0, 0x01, 0xFE});
  EXPECT_FALSE(talk.device->Deaf());
  EXPECT_EQ(talk.Say({0x00, 0x01, 0xAA}), Bytes{0x11});
  EXPECT_TRUE(talk.device->Deaf());
  EXPECT_EQ(talk.Say({0x00, 0x01, 0xBB}), Bytes{});
  EXPECT_EQ(talk.device->Counters().bytesUnread, 3u);
  EXPECT_EQ(talk.device->Blocks(0x01).size(), 1u);
}

TEST(BootLoaderSimFaults, RefusedLevelAndWaitFramesAreAnsweredEndAndNotCarriedOut) {
  DeviceConfig config = SessionOnDemoChip();
  config.faults = {MakeFault(FaultKind::Refuse, FaultPoint::Wait, 2),
                   MakeFault(FaultKind::Refuse, FaultPoint::Levels, 1, 2)};
  DeviceTalk talk(config);
  const Bytes wait = Frame({'T', 0, 0, 0, 10});
  const Bytes levels = Frame({'B', 0x10, 0x11});
  EXPECT_EQ(talk.Say(wait), Bytes{0x11});
  EXPECT_EQ(talk.Say(wait), Bytes{0x44});
  EXPECT_EQ(talk.Say(wait), Bytes{0x11});
  EXPECT_EQ(talk.Say(levels), Bytes{0x44});
  EXPECT_EQ(talk.Say(levels), Bytes{0x44});
  EXPECT_EQ(talk.Say(levels), Bytes{0x11});
  const CableStatistics& done = talk.device->Executor(0x05)->Statistics();
  EXPECT_EQ(done.waits, 2u);
  EXPECT_EQ(done.levelFrames, 1u);
}

}  // namespace
