#pragma once
// The least time the device's protocol allows for an update's traffic on a serial
// line: every byte crosses the line at 10 bits (8N1), one way at a time, and every
// reply the host must wait for costs the adapter's latency once.

#include <cstdint>
#include <map>
#include <string>

struct LineTraffic {
  uint64_t hostBytes = 0;    // host to device
  uint64_t deviceBytes = 0;  // device to host
  uint64_t roundTrips = 0;   // replies the host waits for before it sends on
  uint64_t waitMicroseconds = 0;  // the JTAG programs' waits, which the device takes
};

// devsim's report (key=value lines) as numbers; lines without a number are left out.
std::map<std::string, uint64_t> ParseReport(const std::string& text);

// The traffic of one update from devsim's report. Round trips: the wake-up (the
// host may send its probes without waiting, so the handshake needs one wait), the
// start, each query, each selection, each JTAG kind, each firmware block and each
// command frame (a read-back answer follows its acknowledgement at once). Waits:
// every JTAG port's microseconds waited.
LineTraffic TrafficOf(const std::map<std::string, uint64_t>& report);

// Seconds that the traffic needs at least at `baud` with `latencyMs` per reply.
double LowerBoundSeconds(const LineTraffic& traffic, uint32_t baud, double latencyMs);

// The same with the programs' waits on top, for a device that takes them.
double LowerBoundWithWaitsSeconds(const LineTraffic& traffic, uint32_t baud, double latencyMs);
