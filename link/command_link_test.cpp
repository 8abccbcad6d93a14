#include "link/command_link.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testsupport/link_test_fixture.h"

namespace {

uint16_t CrcOfText(const char* text) {
  return Crc16(reinterpret_cast<const uint8_t*>(text), std::strlen(text));
}

TEST(Crc16Test, MatchesPublishedCheckValuesAndVerifiesToZero) {
  EXPECT_EQ(CrcOfText("123456789"), 0xFEE8);
  EXPECT_EQ(CrcOfText("abc"), 0xCADB);
  EXPECT_EQ(CrcOfText(""), 0x0000);

  // A receiver runs the covered bytes and then the received CRC through the step
  // function: 0 exactly when they match.
  const uint8_t data[] = {'R', 0x0A, 0x05};
  const uint16_t crc = Crc16(data, sizeof(data));
  uint16_t check = 0;
  for (uint8_t b : data) check = Crc16Step(check, b);
  EXPECT_EQ(Crc16Step(Crc16Step(check, crc >> 8), crc & 0xFF), 0);
  EXPECT_NE(Crc16Step(Crc16Step(check, crc >> 8), (crc & 0xFF) ^ 1), 0);
}

using SendCommandTest = LinkTest;

TEST_F(SendCommandTest, FramesPayloadWithLengthAndCrc) {
  const uint8_t end[] = {'F'};
  device->QueueReply({0x44});
  EXPECT_EQ(link.SendCommand(end, 1), 0x44);
  device->QueueReply({0x11});
  EXPECT_EQ(link.SendCommand(nullptr, 0), 0x11);

  ASSERT_EQ(device->writes.size(), 2u);
  EXPECT_EQ(device->writes[0], (Bytes{0x00, 0x03, 0x46, 0x81, 0x97}));
  EXPECT_EQ(device->writes[1], (Bytes{0x00, 0x02, 0x00, 0x00}));
}

TEST_F(SendCommandTest, LargestPayloadFillsTheFrameAndOneMoreIsRefused) {
  Bytes payload(kMaxPayload);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
  device->QueueReply({0x11});
  EXPECT_EQ(link.SendCommand(payload.data(), kMaxPayload), 0x11);
  ASSERT_EQ(device->writes.size(), 1u);
  EXPECT_EQ(device->writes[0].size(), 1000u);
  EXPECT_EQ(PayloadOf(device->writes[0]), payload);

  payload.push_back(0);
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(payload.data(), kMaxPayload + 1); }),
            LinkError::FrameNotWritten);
  EXPECT_EQ(device->writes.size(), 1u);
}

TEST_F(SendCommandTest, WaitsOutBusyAndResendsDamagedFrames) {
  const uint8_t wait[] = {'T', 0, 0, 0, 1};
  device->QueueReply({0x33, 0x33, 0x11});
  EXPECT_EQ(link.SendCommand(wait, sizeof(wait)), 0x11);
  EXPECT_EQ(device->writes.size(), 1u);

  // Busy replies between resends do not use up the allowance.
  device->writes.clear();
  device->QueueReply({0x22, 0x33, 0x22, 0x11});
  EXPECT_EQ(link.SendCommand(wait, sizeof(wait)), 0x11);
  ASSERT_EQ(device->writes.size(), 3u);
  EXPECT_EQ(device->writes[1], device->writes[0]);
  EXPECT_EQ(device->writes[2], device->writes[0]);

  // The allowance starts afresh with every call: five resends, the sixth damaged
  // report gives up.
  device->writes.clear();
  device->QueueReply({0x22, 0x22, 0x22, 0x22, 0x22, 0x99});
  EXPECT_EQ(link.SendCommand(wait, sizeof(wait)), 0x99);
  EXPECT_EQ(device->writes.size(), 6u);

  device->writes.clear();
  device->QueueReply({0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x11});
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(wait, sizeof(wait)); }), LinkError::RepeatedCrc);
  EXPECT_EQ(device->writes.size(), 6u);
}

TEST_F(SendCommandTest, CancelTakesEffectOnlyOnBusyReply) {
  const uint8_t shift[] = {'S', 0x00, 0x00, 0x0C};
  device->onWrite = [this](MemoryPort&, const Bytes&) { cancelRequested = true; };
  device->QueueReply({0x33});
  EXPECT_EQ(link.SendCommand(shift, sizeof(shift)), 0x11);
  ASSERT_EQ(device->writes.size(), 2u);
  EXPECT_EQ(device->writes[1], Bytes{0xA2});
  EXPECT_EQ(device->readCount, 1u);

  device->writes.clear();
  device->QueueReply({0x99});
  EXPECT_EQ(link.SendCommand(shift, sizeof(shift)), 0x99);
  device->QueueReply({0x22, 0x11});
  EXPECT_EQ(link.SendCommand(shift, sizeof(shift)), 0x11);
  EXPECT_EQ(device->writes.size(), 3u);  // no 0xA2 among them
  for (const Bytes& write : device->writes) EXPECT_NE(write, Bytes{0xA2});
}

TEST_F(SendCommandTest, LinkFailuresRaiseTheirCodes) {
  const uint8_t end[] = {'F'};
  // A silent device costs one read time-out: 150 * 1 + 150 ms.
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(end, 1); }), LinkError::NoReply);
  EXPECT_EQ(device->elapsedMs, 300u);

  // Silence after busy replies is the same failure.
  device->QueueReply({0x33});
  device->QueueTimeout();
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(end, 1); }), LinkError::NoReply);

  device->writes.clear();
  device->FailWritesFrom(1);  // the resend fails
  device->QueueReply({0x22});
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(end, 1); }), LinkError::FrameNotWritten);
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(end, 1); }), LinkError::FrameNotWritten);
}

// A device that answers busy without end is given up as not responding once it
// has kept one frame busy for the limit (here a busy reply every 100 ms); a wait
// command may keep it busy for the time it asked for on top.
TEST_F(SendCommandTest, BusyWithoutEndIsNoReplyAfterTheLimit) {
  device->replyGapMs = 100;
  const uint32_t busyReplies = kDeviceBusyLimitMs / device->replyGapMs;
  const uint8_t levels[] = {'B', 0x10};
  device->QueueReply(Bytes(busyReplies - 1, 0x33));
  device->QueueReply({0x11});
  EXPECT_EQ(link.SendCommand(levels, sizeof(levels)), 0x11);

  device->elapsedMs = 0;
  // The reply past the limit is the last one read.
  device->QueueReply(Bytes(busyReplies + 1, 0x33));
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(levels, sizeof(levels)); }), LinkError::NoReply);
  EXPECT_EQ(device->elapsedMs, kDeviceBusyLimitMs + device->replyGapMs);

  // 'T' for 30 s (30,000,000 microseconds = 0x01C9C380).
  const uint8_t wait[] = {'T', 0x01, 0xC9, 0xC3, 0x80};
  const uint32_t waitReplies = 30000 / device->replyGapMs;
  device->elapsedMs = 0;
  device->QueueReply(Bytes(busyReplies + waitReplies - 1, 0x33));
  device->QueueReply({0x11});
  EXPECT_EQ(link.SendCommand(wait, sizeof(wait)), 0x11);
  device->elapsedMs = 0;
  device->QueueReply(Bytes(busyReplies + waitReplies + 1, 0x33));
  EXPECT_EQ(LinkErrorOf([&] { link.SendCommand(wait, sizeof(wait)); }), LinkError::NoReply);
  EXPECT_EQ(device->elapsedMs, kDeviceBusyLimitMs + 30000 + device->replyGapMs);
}

}  // namespace
