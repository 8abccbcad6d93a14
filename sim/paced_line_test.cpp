#include "sim/paced_line.h"

#include <gtest/gtest.h>

#include <optional>

#include "testsupport/sim_test_support.h"

namespace {

constexpr uint8_t kWake = 0xA4;
// 10 bits at 57600 baud: 173.611 microseconds.
constexpr uint64_t kByteNs = 173611;

Bytes Arrived(PacedLine& line, uint64_t nowUs) {
  Bytes bytes;
  line.TakeArrived(nowUs, &bytes);
  return bytes;
}

TEST(PacedLine, ReplyArrivesAfterBothBytesHaveCrossedAndTheLatency) {
  BootLoaderSim device(DeviceConfig{});
  PacedLine line(57600, 16);
  const uint8_t probe = kWake;
  line.FromHost(device, &probe, 1, 1000);

  // The probe has crossed at 1173.6 (the device sees it at 1174); the reply leaves
  // 16 ms later and crosses in 173.6.
  const uint64_t dueUs = 17348;
  ASSERT_EQ(line.NextArrivalUs(), dueUs);
  EXPECT_TRUE(Arrived(line, dueUs - 1).empty());
  EXPECT_EQ(Arrived(line, dueUs), Bytes{0x11});
  EXPECT_FALSE(line.NextArrivalUs());
}

TEST(PacedLine, BurstOfRepliesPaysTheLatencyOnceAndFollowsByteAfterByte) {
  BootLoaderSim device(DeviceConfig{});
  PacedLine line(57600, 16);
  const Bytes probes(5, kWake);
  line.FromHost(device, probes.data(), probes.size(), 0);

  // The replies queue behind the first, which waits out the latency, and follow
  // it a byte time apart.
  uint64_t previousUs = 174 + 16000;
  for (size_t k = 0; k < probes.size(); ++k) {
    const std::optional<uint64_t> arrivalUs = line.NextArrivalUs();
    ASSERT_TRUE(arrivalUs);
    EXPECT_NEAR(static_cast<double>(*arrivalUs - previousUs), kByteNs / 1000.0, 1.0);
    EXPECT_EQ(Arrived(line, *arrivalUs), Bytes{0x11});
    previousUs = *arrivalUs;
  }
}

TEST(PacedLine, UnpacedLineAnswersAtOnce) {
  BootLoaderSim device(DeviceConfig{});
  PacedLine line(0, 0);
  const uint8_t probe = kWake;
  line.FromHost(device, &probe, 1, 500);
  EXPECT_EQ(line.NextArrivalUs(), 500u);
  EXPECT_EQ(Arrived(line, 500), Bytes{0x11});
}

// The device cuts the line when the probe that strikes the fault arrives, not when
// the host wrote it; replies to earlier probes are still on their way.
TEST(PacedLine, CutIsTimedByTheArrivalOfTheStrikingByte) {
  DeviceConfig config;
  config.faults.push_back(MakeFault(FaultKind::Disconnect, FaultPoint::Wake, 3));
  BootLoaderSim device(config);
  PacedLine line(57600, 0);
  const Bytes probes(4, kWake);
  line.FromHost(device, probes.data(), probes.size(), 0);

  const uint64_t thirdArrivedUs = (3 * kByteNs + 999) / 1000;
  EXPECT_EQ(line.CutAtUs(), thirdArrivedUs);
  EXPECT_EQ(Arrived(line, 10 * thirdArrivedUs), Bytes(2, 0x11));
}

}  // namespace
