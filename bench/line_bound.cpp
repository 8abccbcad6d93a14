#include "bench/line_bound.h"

#include <cstdlib>
#include <sstream>

namespace {

constexpr double kBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit

uint64_t Value(const std::map<std::string, uint64_t>& report, const char* key) {
  const auto found = report.find(key);
  return found == report.end() ? 0 : found->second;
}

}  // namespace

std::map<std::string, uint64_t> ParseReport(const std::string& text) {
  std::map<std::string, uint64_t> report;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals + 1 == line.size()) continue;
    char* end = nullptr;
    const uint64_t value = std::strtoull(line.c_str() + equals + 1, &end, 10);
    if (*end == '\0') report[line.substr(0, equals)] = value;
  }
  return report;
}

LineTraffic TrafficOf(const std::map<std::string, uint64_t>& report) {
  LineTraffic traffic;
  traffic.hostBytes = Value(report, "bytes_received");
  traffic.deviceBytes = Value(report, "bytes_sent");
  const uint64_t wakeUp = Value(report, "wake_probes") > 0 ? 1 : 0;
  traffic.roundTrips = wakeUp + Value(report, "starts") + Value(report, "queries") +
                       Value(report, "selections") + Value(report, "sessions") +
                       Value(report, "blocks") + Value(report, "frames");
  const std::string waited = "_microseconds_waited";
  for (const auto& [key, value] : report) {
    if (key.rfind("jtag_", 0) == 0 && key.size() > waited.size() &&
        key.compare(key.size() - waited.size(), waited.size(), waited) == 0) {
      traffic.waitMicroseconds += value;
    }
  }
  return traffic;
}

double LowerBoundSeconds(const LineTraffic& traffic, uint32_t baud, double latencyMs) {
  const double lineSeconds =
      static_cast<double>(traffic.hostBytes + traffic.deviceBytes) * kBitsPerByte / baud;
  return lineSeconds + static_cast<double>(traffic.roundTrips) * latencyMs / 1000.0;
}

double LowerBoundWithWaitsSeconds(const LineTraffic& traffic, uint32_t baud, double latencyMs) {
  return LowerBoundSeconds(traffic, baud, latencyMs) +
         static_cast<double>(traffic.waitMicroseconds) / 1e6;
}
