#include "bench/line_bound.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseReport, TakesNumbersAndSkipsEverythingElse) {
  const auto report =
      ParseReport("connections=1\nbytes_sent=12\ncommand_B=3\nno value here\nempty=\nmixed=12a\n");
  EXPECT_EQ(report.size(), 3u);
  EXPECT_EQ(report.at("connections"), 1u);
  EXPECT_EQ(report.at("bytes_sent"), 12u);
  EXPECT_EQ(report.at("command_B"), 3u);
}

TEST(TrafficOf, CountsEveryReplyTheHostWaitsForAndTheWakeUpOnce) {
  const auto firmware = TrafficOf(
      ParseReport("bytes_received=66100\nbytes_sent=80\nwake_probes=9\nstarts=1\nqueries=2\n"
                  "selections=1\nsessions=0\nblocks=66\nframes=0\n"));
  EXPECT_EQ(firmware.hostBytes, 66100u);
  EXPECT_EQ(firmware.deviceBytes, 80u);
  EXPECT_EQ(firmware.roundTrips, 1u + 1 + 2 + 1 + 66);

  const auto jtag =
      TrafficOf(ParseReport("wake_probes=5\nstarts=1\nselections=1\nsessions=1\nframes=1374\n"
                            "command_B=1071\n"));
  EXPECT_EQ(jtag.roundTrips, 1u + 1 + 1 + 1 + 1374);
  EXPECT_EQ(jtag.waitMicroseconds, 0u);

  const auto twoPorts = TrafficOf(ParseReport(
      "jtag_03_microseconds_waited=1500\njtag_05_microseconds_waited=250\n"
      "microseconds_waited=9\n"));
  EXPECT_EQ(twoPorts.waitMicroseconds, 1750u);
}

TEST(LowerBoundSeconds, IsLineTimeAtTenBitsAByteAndOneLatencyPerRoundTrip) {
  LineTraffic traffic;
  traffic.hostBytes = 5000;
  traffic.deviceBytes = 760;
  traffic.roundTrips = 100;
  EXPECT_DOUBLE_EQ(LowerBoundSeconds(traffic, 57600, 0), 1.0);
  EXPECT_DOUBLE_EQ(LowerBoundSeconds(traffic, 57600, 16), 2.6);
  EXPECT_DOUBLE_EQ(LowerBoundSeconds(traffic, 115200, 1), 0.6);

  traffic.waitMicroseconds = 250000;
  EXPECT_DOUBLE_EQ(LowerBoundWithWaitsSeconds(traffic, 57600, 16), 2.85);
}

}  // namespace
