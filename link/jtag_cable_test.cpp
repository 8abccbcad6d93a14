#include "link/jtag_cable.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "testsupport/link_test_fixture.h"

namespace {

using CableTest = LinkTest;

Bytes Encoded(const Bytes& vector) {
  uint8_t out[kMaxChunkBytes + 3];
  const size_t size = EncodeVector(vector.data(), vector.size(), out);
  return Bytes(out, out + size);
}

// The device's answer to a read request: length, echo, two nibbles per byte, CRC.
Bytes ReadAnswer(const Bytes& data) {
  Bytes covered{'R'};
  for (uint8_t b : data) {
    covered.push_back(b >> 4);
    covered.push_back(b & 0x0F);
  }
  const uint16_t crc = Crc16(covered.data(), covered.size());
  const size_t length = covered.size() + 2;
  Bytes answer;
  answer.reserve(length + 2);  // spares g++ 12 at -O3 a false out-of-bounds warning
  answer = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  answer.insert(answer.end(), covered.begin(), covered.end());
  answer.push_back(static_cast<uint8_t>(crc >> 8));
  answer.push_back(static_cast<uint8_t>(crc));
  return answer;
}

TEST(EncodeVectorTest, CodesRunsOfFourOrMoreAndLiteralStretches) {
  EXPECT_EQ(Encoded({0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x03}),
            (Bytes{0x01, 0x01, 0x85, 0x02, 0x01, 0x03}));
  EXPECT_EQ(Encoded({0xAA, 0xBB, 0xCC, 0xCC, 0xCC}),
            (Bytes{0x03, 0xAA, 0xBB, 0xCC, 0x01, 0xCC, 0x01, 0xCC}));
  EXPECT_EQ(Encoded({0x07, 0x07, 0x07, 0x07}), (Bytes{0x84, 0x07}));
  EXPECT_EQ(Encoded(Bytes(64, 0x00)), (Bytes{0xC0, 0x00}));
  EXPECT_EQ(Encoded({0x05}), (Bytes{0x01, 0x05}));

  Bytes distinct(64);
  for (size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<uint8_t>(i);
  Bytes literal{0x40};
  literal.insert(literal.end(), distinct.begin(), distinct.end());
  EXPECT_EQ(Encoded(distinct), literal);
}

TEST_F(CableTest, OneStepPerFrameSendsEachStepAsItEnds) {
  JtagCable oneStep(link, StepFrames::OnePerStep);
  device->QueueReply({0x11, 0x11});
  oneStep.SetPortLevel(PortTms, 1, true);
  EXPECT_EQ(device->writes.back(), (Bytes{0x00, 0x04, 0x42, 0x10, 0x8C, 0x66}));

  // One TAP step with TMS low.
  oneStep.SetPortLevel(PortTms, 0, false);
  oneStep.SetPortLevel(PortTck, 0, false);
  EXPECT_EQ(device->writes.size(), 1u);
  oneStep.SetPortLevel(PortTck, 1, true);
  EXPECT_EQ(device->writes.back(), (Bytes{0x00, 0x06, 0x42, 0x00, 0x01, 0x11, 0xAE, 0x7B}));
}

// Batched, the levels of every step go out in one frame in front of the next
// command of another kind, whichever it is; with nothing queued nothing is sent.
TEST_F(CableTest, BatchedStepsGoOutBeforeTheNextCommandOfAnotherKind) {
  const uint8_t tdi[] = {0x01};
  uint8_t out[1];
  const std::pair<std::function<void()>, Bytes> commands[] = {
      {[&] { cable.ShiftBitsequenz(8, tdi, nullptr, nullptr, false); }, {0x11}},
      {[&] { cable.ReadTdoBitsequenz(8, out); }, {0x11, 0x00, 0x05, 0x52, 0x0A, 0x05, 0xB8, 0x75}},
      {[&] { cable.WaitUsec(1000); }, {0x11}},
      {[&] { cable.SendJtagEnd(); }, {0x44}},
  };
  for (const auto& [command, replies] : commands) {
    device->writes.clear();
    cable.SetPortLevel(PortTms, 1, true);
    cable.SetPortLevel(PortTms, 0, false);
    cable.SetPortLevel(PortTck, 0, false);
    cable.SetPortLevel(PortTck, 1, true);
    EXPECT_TRUE(device->writes.empty());
    device->QueueReply({0x11});
    device->QueueReply(replies);
    command();
    ASSERT_EQ(device->writes.size(), 2u);
    EXPECT_EQ(PayloadOfWrite(0), (Bytes{'B', 0x10, 0x00, 0x01, 0x11}));
  }

  device->writes.clear();
  device->QueueReply({0x11});
  cable.SendQueuedLevels();
  cable.WaitUsec(1);
  ASSERT_EQ(device->writes.size(), 1u);
  EXPECT_EQ(PayloadOfWrite(0)[0], 'T');
}

// A device that refuses steps or a wait has not done what the program relies on.
TEST_F(CableTest, RefusedStepsOrWaitThrowAndLeaveNothingQueued) {
  JtagCable oneStep(link, StepFrames::OnePerStep);
  device->QueueReply({0x44});
  EXPECT_EQ(LinkErrorOf([&] { oneStep.SetPortLevel(PortTms, 1, true); }),
            LinkError::LevelsRefused);

  cable.SetPortLevel(PortTms, 1, true);
  device->QueueReply({0x99});
  EXPECT_EQ(LinkErrorOf([&] { cable.WaitUsec(10); }), LinkError::LevelsRefused);
  EXPECT_EQ(device->writes.size(), 2u);  // the wait did not go out

  device->QueueReply({0x44, 0x11});
  EXPECT_EQ(LinkErrorOf([&] { cable.WaitUsec(10); }), LinkError::WaitRefused);
  cable.SetPortLevel(PortTck, 1, true);
  cable.SendQueuedLevels();
  EXPECT_EQ(PayloadOfWrite(3), (Bytes{'B', 0x11}));
}

TEST_F(CableTest, LevelsOfAFailedFrameGoOutWithTheNext) {
  JtagCable oneStep(link, StepFrames::OnePerStep);
  EXPECT_EQ(LinkErrorOf([&] { oneStep.SetPortLevel(PortTms, 1, true); }), LinkError::NoReply);
  device->QueueReply({0x11});
  oneStep.SetPortLevel(PortTms, 0, true);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'B', 0x10, 0x00}));
}

// 33 steps fill the buffer exactly; the 34th starts a frame of its own. Levels a
// failed frame left queued fill it up too, and never overflow it.
TEST_F(CableTest, FullLevelBufferSplitsWithoutOverflow) {
  device->QueueReply({0x11, 0x11});
  for (int step = 0; step < 34; ++step) {
    cable.SetPortLevel(PortTms, step % 2, false);
    cable.SetPortLevel(PortTck, 0, false);
    cable.SetPortLevel(PortTck, 1, true);
    if (step == 32) {
      EXPECT_TRUE(device->writes.empty());  // 33 steps: full, not sent
    }
  }
  EXPECT_EQ(device->writes.size(), 1u);  // the 34th step's first level needed room
  cable.SendQueuedLevels();
  ASSERT_EQ(device->writes.size(), 2u);
  const Bytes first = PayloadOfWrite(0);
  ASSERT_EQ(first.size(), 100u);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 7), (Bytes{'B', 0x00, 0x01, 0x11, 0x10, 0x01, 0x11}));
  EXPECT_EQ(first[99], 0x11);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'B', 0x10, 0x01, 0x11}));

  device->writes.clear();
  for (int i = 0; i < 60; ++i) cable.SetPortLevel(PortTck, i % 2, false);
  EXPECT_EQ(LinkErrorOf([&] { cable.SendQueuedLevels(); }), LinkError::NoReply);
  device->QueueReply({0x11, 0x11});
  for (int i = 0; i < 60; ++i) cable.SetPortLevel(PortTms, 1, false);
  cable.SendQueuedLevels();
  ASSERT_EQ(device->writes.size(), 3u);
  EXPECT_EQ(PayloadOfWrite(1).size(), 100u);
  EXPECT_EQ(PayloadOfWrite(1)[60], 0x11);  // the last of the 60 left queued
  EXPECT_EQ(PayloadOfWrite(1)[61], 0x10);  // then the new levels
  Bytes rest(22, 0x10);  // 120 levels: 99 in the first frame, 21 in the second
  rest[0] = 'B';
  EXPECT_EQ(PayloadOfWrite(2), rest);
}

TEST_F(CableTest, ShiftLeavesOutVectorsTheDeviceAlreadyHolds) {
  const uint8_t tdi[] = {0x0F, 0xFF};
  device->QueueReply({0x11, 0x11});
  EXPECT_EQ(cable.ShiftBitsequenz(12, tdi, nullptr, nullptr, false), 0x11);
  EXPECT_EQ(device->writes[0],
            (Bytes{0x00, 0x09, 0x53, 0x08, 0x00, 0x0C, 0x02, 0x0F, 0xFF, 0x46, 0x10}));
  EXPECT_EQ(cable.ShiftBitsequenz(12, tdi, nullptr, nullptr, false), 0x11);
  EXPECT_EQ(device->writes[1], (Bytes{0x00, 0x06, 0x53, 0x00, 0x00, 0x0C, 0xFC, 0x33}));
}

TEST_F(CableTest, ShiftSendsChangedVectorsAndAllOnOtherBitCount) {
  const uint8_t tdi[] = {0x12, 0x34};
  const uint8_t expectedA[] = {0xAB, 0xCD};
  const uint8_t expectedB[] = {0xAB, 0xCE};
  const uint8_t mask[] = {0xF0, 0x0F};
  device->QueueReply({0x11, 0x99, 0x11, 0x11});

  EXPECT_EQ(cable.ShiftBitsequenz(16, tdi, expectedA, mask, false), 0x11);
  EXPECT_EQ(PayloadOfWrite(0), (Bytes{'S', 0x3B, 0x00, 0x10, 0x02, 0x12, 0x34, 0x02, 0xAB,
                                      0xCD, 0x02, 0xF0, 0x0F}));

  // Only the expected vector changed; the reply is handed back as it came.
  EXPECT_EQ(cable.ShiftBitsequenz(16, tdi, expectedB, mask, true), 0x99);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'S', 0x17, 0x00, 0x10, 0x02, 0xAB, 0xCE}));

  // Same bytes, other bit count: every vector given travels again.
  EXPECT_EQ(cable.ShiftBitsequenz(15, tdi, expectedB, nullptr, false), 0x11);
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'S', 0x19, 0x00, 0x0F, 0x02, 0x12, 0x34, 0x02, 0xAB,
                                      0xCE}));

  // A zero-bit shift carries no vector and resets the last bit count.
  EXPECT_EQ(cable.ShiftBitsequenz(0, tdi, expectedB, mask, true), 0x11);
  EXPECT_EQ(PayloadOfWrite(3), (Bytes{'S', 0x07, 0x00, 0x00}));
  device->QueueReply({0x11});
  cable.ShiftBitsequenz(15, tdi, nullptr, nullptr, false);
  EXPECT_EQ(PayloadOfWrite(4), (Bytes{'S', 0x08, 0x00, 0x0F, 0x02, 0x12, 0x34}));
}

TEST_F(CableTest, OverlongShiftIsRefusedWithoutTouchingTheCache) {
  uint8_t tdi[kMaxChunkBytes + 1] = {0x5A, 0x5A};
  device->QueueReply({0x11, 0x11});
  cable.ShiftBitsequenz(16, tdi, nullptr, nullptr, false);

  tdi[0] = 0x00;
  EXPECT_EQ(cable.ShiftBitsequenz(kMaxChunkBits + 1, tdi, nullptr, nullptr, false), 0);
  EXPECT_EQ(device->writes.size(), 1u);

  tdi[0] = 0x5A;
  cable.ShiftBitsequenz(16, tdi, nullptr, nullptr, false);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'S', 0x00, 0x00, 0x10}));

  // The largest shift fits a frame of its own.
  Bytes full(kMaxChunkBytes, 0xFF);
  device->QueueReply({0x11});
  EXPECT_EQ(cable.ShiftBitsequenz(kMaxChunkBits, full.data(), full.data(), full.data(), false), 0x11);
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'S', 0x3B, 0x02, 0x00, 0xC0, 0xFF, 0xC0, 0xFF, 0xC0, 0xFF}));
}

TEST_F(CableTest, ANewCableKnowsNothingOfTheLastOnesCacheOrLevels) {
  const uint8_t tdi[] = {0x0F, 0xFF};
  device->QueueReply({0x11, 0x11, 0x11});
  cable.ShiftBitsequenz(12, tdi, nullptr, nullptr, false);
  cable.SetPortLevel(PortTms, 1, false);

  JtagCable fresh(link);
  fresh.ShiftBitsequenz(12, tdi, nullptr, nullptr, false);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'S', 0x08, 0x00, 0x0C, 0x02, 0x0F, 0xFF}));
  fresh.SetPortLevel(PortTck, 1, true);
  fresh.SendQueuedLevels();
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'B', 0x11}));
}

TEST_F(CableTest, ReadTdoDecodesAndChecksTheAnswer) {
  uint8_t out[2] = {};
  device->QueueReply({0x11, 0x00, 0x05, 0x52, 0x0A, 0x05, 0xB8, 0x75});
  EXPECT_TRUE(cable.ReadTdoBitsequenz(8, out));
  EXPECT_EQ(out[0], 0xA5);
  EXPECT_EQ(PayloadOfWrite(0), (Bytes{'R', 0x00, 0x08}));

  device->QueueReply({0x11});
  device->QueueReply(ReadAnswer({0x3C, 0xF0}));
  EXPECT_TRUE(cable.ReadTdoBitsequenz(13, out));
  EXPECT_EQ(out[0], 0x3C);
  EXPECT_EQ(out[1], 0xF0);

  // Not acknowledged: no answer is waited for.
  const size_t readsBefore = device->readCount;
  device->QueueReply({0x44});
  EXPECT_FALSE(cable.ReadTdoBitsequenz(8, out));
  EXPECT_EQ(device->readCount, readsBefore + 1);
}

TEST_F(CableTest, ReadTdoRejectsDamagedOrMissingAnswers) {
  uint8_t out[1];
  const Bytes damaged[] = {
      {0x00, 0x06, 0x52, 0x0A, 0x05, 0xB8, 0x75},  // length field
      {0x00, 0x05, 0x53, 0x0A, 0x05, 0xB8, 0x75},  // echo
      {0x00, 0x05, 0x52, 0x0A, 0x05, 0xB8, 0x76},  // CRC
  };
  for (const Bytes& answer : damaged) {
    device->QueueReply({0x11});
    device->QueueReply(answer);
    EXPECT_EQ(LinkErrorOf([&] { cable.ReadTdoBitsequenz(8, out); }), LinkError::BadReadAnswer);
  }

  device->QueueReply({0x11, 0x00, 0x05, 0x52});
  EXPECT_EQ(LinkErrorOf([&] { cable.ReadTdoBitsequenz(8, out); }), LinkError::NoReply);

  // An answer too large for the answer buffer is not asked for.
  const size_t writesBefore = device->writes.size();
  uint8_t large[200];
  EXPECT_FALSE(cable.ReadTdoBitsequenz(sizeof(large) * 8, large));
  EXPECT_EQ(device->writes.size(), writesBefore);
}

TEST_F(CableTest, WaitAndEndJudgeTheirReplies) {
  device->QueueReply({0x11, 0x33, 0x11, 0x44, 0x11});
  cable.WaitUsec(1000);
  EXPECT_EQ(PayloadOfWrite(0), (Bytes{'T', 0x00, 0x00, 0x03, 0xE8}));
  cable.WaitUsec(0x01020304);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'T', 0x01, 0x02, 0x03, 0x04}));

  EXPECT_TRUE(cable.SendJtagEnd());
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'F'}));
  EXPECT_FALSE(cable.SendJtagEnd());
}

}  // namespace
