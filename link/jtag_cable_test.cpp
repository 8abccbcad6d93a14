#include "link/jtag_cable.h"

#include <gtest/gtest.h>

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

TEST_F(CableTest, PortLevelsGoOutOnFlushInQueuedOrder) {
  device->QueueReply({0x11});
  EXPECT_TRUE(cable.SetPortLevel(PortTms, 1, true));
  EXPECT_EQ(device->writes.back(), (Bytes{0x00, 0x04, 0x42, 0x10, 0x8C, 0x66}));

  // One TAP step with TMS low; a reply other than 0x11 is reported as false.
  EXPECT_TRUE(cable.SetPortLevel(PortTms, 0, false));
  EXPECT_TRUE(cable.SetPortLevel(PortTck, 0, false));
  EXPECT_EQ(device->writes.size(), 1u);
  device->QueueReply({0x44});
  EXPECT_FALSE(cable.SetPortLevel(PortTck, 1, true));
  EXPECT_EQ(device->writes.back(), (Bytes{0x00, 0x06, 0x42, 0x00, 0x01, 0x11, 0xAE, 0x7B}));

  // The buffer went back to empty after the refused flush.
  device->QueueReply({0x11});
  EXPECT_TRUE(cable.SetPortLevel(PortTck, 0, true));
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'B', 0x01}));
}

TEST_F(CableTest, LevelsOfAFailedFlushGoOutWithTheNext) {
  EXPECT_EQ(LinkErrorOf([&] { cable.SetPortLevel(PortTms, 1, true); }), LinkError::NoReply);
  device->QueueReply({0x11});
  EXPECT_TRUE(cable.SetPortLevel(PortTms, 0, true));
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'B', 0x10, 0x00}));
}

TEST_F(CableTest, FullLevelBufferIsSentBeforeQueuingMore) {
  for (int i = 0; i < 99; ++i) EXPECT_TRUE(cable.SetPortLevel(PortTck, i % 2, false));
  EXPECT_TRUE(device->writes.empty());

  device->QueueReply({0x11, 0x11});
  EXPECT_TRUE(cable.SetPortLevel(PortTms, 1, true));
  ASSERT_EQ(device->writes.size(), 2u);
  const Bytes first = PayloadOfWrite(0);
  ASSERT_EQ(first.size(), 100u);
  EXPECT_EQ(first[0], 'B');
  EXPECT_EQ(first[1], 0x01);
  EXPECT_EQ(first[99], 0x01);
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'B', 0x10}));

  // A refusal of the early frame is not hidden by the acknowledged flush.
  for (int i = 0; i < 99; ++i) cable.SetPortLevel(PortTck, 0, false);
  device->QueueReply({0x44, 0x11});
  EXPECT_FALSE(cable.SetPortLevel(PortTms, 1, true));
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
  device->QueueReply({0x11, 0x33, 0x44, 0x44, 0x11});
  EXPECT_TRUE(cable.WaitUsec(1000));
  EXPECT_EQ(PayloadOfWrite(0), (Bytes{'T', 0x00, 0x00, 0x03, 0xE8}));
  EXPECT_FALSE(cable.WaitUsec(0x01020304));
  EXPECT_EQ(PayloadOfWrite(1), (Bytes{'T', 0x01, 0x02, 0x03, 0x04}));

  EXPECT_TRUE(cable.SendJtagEnd());
  EXPECT_EQ(PayloadOfWrite(2), (Bytes{'F'}));
  EXPECT_FALSE(cable.SendJtagEnd());
}

}  // namespace
