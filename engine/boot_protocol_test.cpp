#include "engine/boot_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "testsupport/engine_test_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kTimeout = -1;

class BootProtocol : public EngineTest {
 protected:
  // Scripts the device: bytes, and kTimeout for a read that gets nothing.
  void Device(const std::vector<int>& script) {
    for (int item : script) {
      if (item == kTimeout) {
        device->QueueTimeout();
      } else {
        device->QueueReply({static_cast<uint8_t>(item)});
      }
    }
  }

  std::vector<uint8_t> ReadReplies(ReplyReader& reader, size_t count) {
    std::vector<uint8_t> results;
    for (size_t i = 0; i < count; ++i) results.push_back(reader.ReadReply());
    return results;
  }

  // Why the reader gave up, or "" while it has not.
  static std::string GiveUpText(const ReplyReader& reader, const std::vector<uint8_t>& results) {
    const bool gaveUp = std::find(results.begin(), results.end(), ReplyGiveUp) != results.end();
    return gaveUp ? MessageText(reader.GiveUpReason()) : "";
  }

  // Sets the cancel request once the host has made `writes` writes.
  void CancelAfterWrites(size_t writes) {
    device->onWrite = [this, writes](MemoryPort& port, const Bytes&) {
      if (port.writes.size() == writes) state.cancelRequested.store(true);
    };
  }

  ReplyReader replies{state.port};
};

TEST_F(BootProtocol, ReplyReaderCountsBadRepliesInARow) {
  struct Case {
    std::vector<int> replies;
    Bytes results;
    const char* statusLine;
  };
  const Case cases[] = {
      // Every byte other than 0x11, 0x33, 0x44 and 0x88 is reported as a repeat.
      {{0x99, 0x00, 0x22, 0x11, 0x44, 0x88, 0x33}, {0x22, 0x22, 0x22, 0x11, 0x44, 0x88, 0x33}, ""},
      {{0x55, 0x55, 0x55, 0x22}, {0x22, 0x22, 0x22, 0x9A}, "CRC error. File possibly damaged."},
      {{0x22, 0x22, 0x22, 0x55}, {0x22, 0x22, 0x22, 0x9A}, "Wrong answer. Update cancelled."},
      // Neither busy replies nor silence clear the count.
      {{0x55, 0x33, 0x55, kTimeout, 0x55, 0x55},
       {0x22, 0x33, 0x22, 0x33, 0x22, 0x9A},
       "Wrong answer. Update cancelled."},
      {{0x55, 0x55, 0x55, 0x11, 0x55, 0x55, 0x55}, {0x22, 0x22, 0x22, 0x11, 0x22, 0x22, 0x22}, ""},
      {{0x55, 0x55, 0x55, 0x44, 0x55, 0x55, 0x55}, {0x22, 0x22, 0x22, 0x44, 0x22, 0x22, 0x22}, ""},
      {{0x55, 0x55, 0x55, 0x88, 0x55, 0x55, 0x55}, {0x22, 0x22, 0x22, 0x88, 0x22, 0x22, 0x22}, ""},
      // The count is not cleared by giving up, only by a good reply.
      {{0x55, 0x55, 0x55, 0x55, 0x55, 0x11, 0x55},
       {0x22, 0x22, 0x22, 0x9A, 0x9A, 0x11, 0x22},
       "Wrong answer. Update cancelled."},
  };
  for (const Case& c : cases) {
    ReplyReader reader(state.port);
    Device(c.replies);
    const std::vector<uint8_t> results = ReadReplies(reader, c.replies.size());
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(GiveUpText(reader, results), c.statusLine);
  }
}

TEST_F(BootProtocol, TwentiethTimeoutInARowGivesUp) {
  state.currentTarget = 1;
  for (int i = 0; i < 19; ++i) Device({kTimeout});
  Device({0x33});
  for (int i = 0; i < 20; ++i) Device({kTimeout});
  EXPECT_EQ(ReadReplies(replies, 20), Bytes(20, 0x33));
  EXPECT_EQ(replies.timeoutCount, 0) << "a received byte starts the count again";
  EXPECT_EQ(ReadReplies(replies, 19), Bytes(19, 0x33));
  EXPECT_EQ(replies.ReadReply(), ReplyGiveUp);
  EXPECT_STREQ(MessageText(replies.GiveUpReason()), "Failed: Target is not responding");
  EXPECT_TRUE(replies.TargetFailed());
  EXPECT_EQ(state.statusLine.Get(), "") << "the worker ends the update with the reason";
}

TEST_F(BootProtocol, WakeUpNeedsFiveAcknowledgementsInARow) {
  state.deviceAnswered = true;
  Device({0x11, 0x11, 0x22, 0x11, kTimeout, 0x11, 0x11, kTimeout, 0x11, 0x11});
  EXPECT_EQ(WakeDevice(state), Exchange::Done);
  EXPECT_EQ(device->written, Bytes(10, CmdWake));
  EXPECT_EQ(device->writes.size(), 10u);
  EXPECT_FALSE(state.deviceAnswered.load());
}

TEST_F(BootProtocol, WakeUpStopsOnCancelAfterAProbe) {
  CancelAfterWrites(3);
  EXPECT_EQ(WakeDevice(state), Exchange::Cancelled);
  EXPECT_EQ(device->written, Bytes(3, CmdWake));
  EXPECT_EQ(device->readCount, 3u);
}

TEST_F(BootProtocol, StartPassesOverRepliesUntilReady) {
  replies.timeoutCount = 7;
  Device({0x11, 0x33, kTimeout, 0x22, 0x44, 0x88, 0x11});
  EXPECT_EQ(StartBootLoader(state, replies), Exchange::Done);
  EXPECT_EQ(device->written, Bytes{CmdStart});
  EXPECT_EQ(device->timeoutsSet, std::vector<uint32_t>{150});
  EXPECT_EQ(device->readCount, 6u);
  EXPECT_TRUE(state.deviceAnswered.load());
  EXPECT_EQ(state.statusLine.Get(), "running update");
  EXPECT_TRUE(state.refreshNeeded.load());
  EXPECT_EQ(replies.timeoutCount, 0);
}

TEST_F(BootProtocol, StartGivesUpOrStopsOnCancel) {
  Device({0x22, 0x22, 0x22, 0x55});
  EXPECT_EQ(StartBootLoader(state, replies), Exchange::GaveUp);
  EXPECT_STREQ(MessageText(replies.GiveUpReason()), "Wrong answer. Update cancelled.");

  state.cancelRequested = true;
  Device({0x11, 0x88});
  const size_t readsBefore = device->readCount;
  EXPECT_EQ(StartBootLoader(state, replies), Exchange::Cancelled);
  EXPECT_EQ(device->readCount, readsBefore + 1) << "cancel is seen after the first reply";
}

TEST_F(BootProtocol, MultiplicityQuery) {
  struct Case {
    std::vector<int> answers;
    Exchange result;
    uint32_t multiplicity;
    size_t queries;
  };
  const Case cases[] = {
      {{kTimeout}, Exchange::Done, 1, 1},
      {{3, 3}, Exchange::Done, 3, 2},
      {{0, 0}, Exchange::Done, 0, 2},
      {{0x55, 0x55}, Exchange::Done, 0x55, 2},
      {{3, 2}, Exchange::Unsuccessful, 3, 2},
      {{3, kTimeout}, Exchange::Unsuccessful, 3, 2},
  };
  for (const Case& c : cases) {
    device->written.clear();
    device->writes.clear();
    Device(c.answers);
    uint32_t multiplicity = 99;
    EXPECT_EQ(QueryMultiplicity(state, replies, 0x07, &multiplicity), c.result);
    EXPECT_EQ(multiplicity, c.multiplicity);
    EXPECT_EQ(device->writes, std::vector<Bytes>(c.queries, Bytes{CmdQuery, 0x07, 0x00}));
  }
}

TEST_F(BootProtocol, SelectionOutcomes) {
  struct Case {
    bool jtag;
    std::vector<int> replies;
    uint8_t result;
    Bytes written;
  };
  const Bytes pair = {CmdSelect, 0x05, 0xFA};
  const Bytes withKind = {CmdSelect, 0x05, 0xFA, 0xFF, 0x00};
  const Case cases[] = {
      // A repeat sends the pair again, not the 0xA0; the fourth gives up.
      {false, {0x22, 0x22, 0x11}, ReplyAck, {CmdSelect, 0x05, 0xFA, 0x05, 0xFA, 0x05, 0xFA}},
      {false, {0x22, 0x22, 0x22, 0x22}, ReplyGiveUp,
       {CmdSelect, 0x05, 0xFA, 0x05, 0xFA, 0x05, 0xFA, 0x05, 0xFA}},
      {false, {0x44}, ReplyEnd, pair},
      {false, {kTimeout}, ReplyBusy, pair},  // a silent device is not waited for
      {false, {0x88}, ReplyReady, pair},
      {true, {0x11, 0x11}, ReplyAck, withKind},
      {true, {0x44}, ReplyEnd, pair},
      {true, {0x11, 0x22}, ReplyRepeat, withKind},
  };
  for (const Case& c : cases) {
    ReplyReader reader(state.port);
    device->written.clear();
    Device(c.replies);
    bool cancelled = true;
    EXPECT_EQ(SelectTarget(state, reader, 0x05, c.jtag, &cancelled), c.result);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(device->written, c.written);
  }
}

TEST_F(BootProtocol, SelectionStopsOnCancelAfterSendingThePair) {
  CancelAfterWrites(2);
  Device({0x11});
  bool cancelled = false;
  SelectTarget(state, replies, 0x05, false, &cancelled);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(device->written, (Bytes{CmdSelect, 0x05, 0xFA}));
  EXPECT_EQ(device->readCount, 0u);
}

class FirmwareTransfer : public BootProtocol {
 protected:
  // One firmware target with two blocks, 6 and 4 payload bytes (14 stored bytes
  // when not coded).
  void LoadTwoBlocks(bool runLengthCoded = false) {
    UpdateTarget target;
    target.name = " Main";
    target.data = FirmwareBlocks({1, 2, 3, 4, 5, 6, 7, 7, 7, 7}, 6);
    target.runLengthCoded = runLengthCoded;
    LoadFirstRecord("V1.01", {target});
  }

  void LoadData(const Bytes& data) {
    UpdateTarget target;
    target.data = data;
    LoadFirstRecord("V1.01", {target});
  }

  const Bytes first = {0, 6, 1, 2, 3, 4, 5, 6};
  const Bytes second = {0, 4, 7, 7, 7, 7};
};

TEST_F(FirmwareTransfer, SendsEachBlockInOneWriteUntilAcknowledged) {
  struct Case {
    std::vector<int> replies;
    Exchange result;
    std::vector<Bytes> writes;
  };
  std::vector<int> silence(20, kTimeout);
  const Case cases[] = {
      {{0x11, 0x33, 0x33, 0x11}, Exchange::Done, {first, second}},
      {{0x22, 0x88, 0x11, 0x22, 0x11}, Exchange::Done, {first, first, first, second, second}},
      // 0x44 ends the target: done after the last block, unsuccessful before it.
      {{0x11, 0x44}, Exchange::Done, {first, second}},
      {{0x44}, Exchange::Unsuccessful, {first}},
      {{0x55, 0x55, 0x55, 0x55}, Exchange::GaveUp, {first, first, first, first}},
      // Silence is waited for, not answered with a resend.
      {silence, Exchange::GaveUp, {first}},
  };
  for (const Case& c : cases) {
    ReplyReader reader(state.port);
    LoadTwoBlocks();
    device->writes.clear();
    Device(c.replies);
    EXPECT_EQ(SendFirmware(state, reader, Reader()), c.result);
    EXPECT_EQ(device->writes, c.writes);
  }
}

TEST_F(FirmwareTransfer, ReportsProgressAfterEachBlockRead) {
  for (bool runLengthCoded : {false, true}) {
    LoadTwoBlocks(runLengthCoded);
    device->writes.clear();
    std::vector<int32_t> percents;
    device->onWrite = [&](MemoryPort&, const Bytes&) {
      percents.push_back(state.rows[0].percent.load());
    };
    Device({0x11, 0x11});
    EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::Done);
    EXPECT_EQ(device->writes, (std::vector<Bytes>{first, second}));
    // 8 of 14 stored bytes; coded, the first run already holds 11 of 13.
    EXPECT_EQ(percents, (std::vector<int32_t>{runLengthCoded ? 84 : 57, 100}));
  }
}

TEST_F(FirmwareTransfer, BlocksThatCannotBeReadAreFormatErrors) {
  Bytes tooLong = {0x03, 0xE7};  // 999 payload bytes
  tooLong.resize(2 + 999, 0xAB);
  const Bytes cases[] = {tooLong, {0x00, 0x05, 1, 2}, {0x00}};
  for (const Bytes& data : cases) {
    LoadData(data);
    device->writes.clear();
    EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::FormatError);
    EXPECT_TRUE(device->writes.empty());
  }

  Bytes longest = {0x03, 0xE6};  // 998 payload bytes
  longest.resize(2 + 998, 0xAB);
  LoadData(longest);
  Device({0x11});
  EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::Done);
  EXPECT_EQ(device->writes, std::vector<Bytes>{longest});
}

TEST_F(FirmwareTransfer, CancelIsSeenBeforeEachBlockAndWhileBusy) {
  LoadTwoBlocks();
  state.cancelRequested = true;
  EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::Cancelled);
  EXPECT_TRUE(device->writes.empty());

  LoadTwoBlocks();
  state.cancelRequested = false;
  CancelAfterWrites(1);
  Device({0x33, 0x11});
  EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::Cancelled);
  EXPECT_EQ(device->writes.size(), 1u);
  EXPECT_EQ(device->readCount, 1u);
}

// A device that answers and then never lets the exchange end: every one gives up
// as a device that does not respond once it has held the host for a minute on the
// port's clock (here a reply every 100 ms), and not a reply earlier.
class HeldHost : public FirmwareTransfer {
 protected:
  HeldHost() { device->replyGapMs = 100; }

  // The device sends `pattern` over and over, well past the limit.
  void Endless(const std::vector<int>& pattern) {
    std::vector<int> script;
    while (script.size() < 2 * kDeviceBusyLimitMs / device->replyGapMs) {
      script.insert(script.end(), pattern.begin(), pattern.end());
    }
    Device(script);
  }

  void ExpectHeldForTheLimit(const char* what) {
    EXPECT_STREQ(MessageText(replies.GiveUpReason()), "Failed: Target is not responding") << what;
    EXPECT_TRUE(replies.TargetFailed()) << what;
    EXPECT_GT(device->elapsedMs, kDeviceBusyLimitMs) << what;
    EXPECT_LE(device->elapsedMs, kDeviceBusyLimitMs + 2 * device->replyGapMs) << what;
  }
};

TEST_F(HeldHost, StartEndsWhenReadyNeverComes) {
  // Busy, or replies that are passed over without counting as bad ones.
  const std::vector<std::vector<int>> patterns = {{0x33}, {0x11}, {0x44}, {0x22, 0x11}};
  for (const auto& pattern : patterns) {
    device->elapsedMs = 0;
    Endless(pattern);
    EXPECT_EQ(StartBootLoader(state, replies), Exchange::GaveUp);
    ExpectHeldForTheLimit("start");
  }
}

TEST_F(HeldHost, BlockEndsWhenItIsNeverTaken) {
  // Busy without end; or asked for again and again with a ready reply between
  // the repeats, which clears the bad-reply count.
  const std::vector<std::vector<int>> patterns = {{0x33}, {0x22, 0x88}, {0x88}};
  for (const auto& pattern : patterns) {
    LoadTwoBlocks();
    device->elapsedMs = 0;
    Endless(pattern);
    EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::GaveUp);
    ExpectHeldForTheLimit("block");
  }
}

TEST_F(HeldHost, BusyJustShortOfTheLimitIsWaitedOutForEachBlock) {
  LoadTwoBlocks();
  const std::vector<int> busy(kDeviceBusyLimitMs / device->replyGapMs - 1, 0x33);
  Device(busy);
  Device({0x11});
  Device(busy);
  Device({0x11});
  EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::Done);
  EXPECT_EQ(device->writes, (std::vector<Bytes>{first, second}));
}

// A port that does not take a request within its write limit (the device has
// stopped reading) ends the update as a device that does not respond, at once:
// nothing is read after it.
TEST_F(BootProtocol, RequestsThePortDoesNotTakeEndTheUpdate) {
  struct Case {
    const char* exchange;
    std::function<bool(UpdateState&, ReplyReader&)> gaveUp;
  };
  const Case cases[] = {
      {"start",
       [](UpdateState& s, ReplyReader& r) { return StartBootLoader(s, r) == Exchange::GaveUp; }},
      {"query",
       [](UpdateState& s, ReplyReader& r) {
         uint32_t multiplicity = 0;
         return QueryMultiplicity(s, r, 0x07, &multiplicity) == Exchange::GaveUp;
       }},
      {"selection",
       [](UpdateState& s, ReplyReader& r) {
         bool cancelled = false;
         return SelectTarget(s, r, 0x05, true, &cancelled) == ReplyGiveUp;
       }},
  };
  for (const Case& c : cases) {
    ReplyReader reader(state.port);
    device->FailWritesFrom(device->writes.size());
    device->readCount = 0;
    Device({0x11, 0x88});
    EXPECT_TRUE(c.gaveUp(state, reader)) << c.exchange;
    EXPECT_STREQ(MessageText(reader.GiveUpReason()), "Failed: Target is not responding")
        << c.exchange;
    EXPECT_EQ(device->readCount, 0u) << c.exchange;
  }
}

TEST_F(FirmwareTransfer, ABlockThePortDoesNotTakeEndsTheUpdate) {
  LoadTwoBlocks();
  device->FailWritesFrom(1);
  Device({0x11, 0x11});
  EXPECT_EQ(SendFirmware(state, replies, Reader()), Exchange::GaveUp);
  EXPECT_STREQ(MessageText(replies.GiveUpReason()), "Failed: Target is not responding");
  EXPECT_EQ(device->readCount, 1u);
}

TEST_F(BootProtocol, EndIsOneByte) {
  SendEnd(state);
  EXPECT_EQ(device->writes, std::vector<Bytes>{{CmdEnd}});
  EXPECT_EQ(device->readCount, 0u);
}

}  // namespace
