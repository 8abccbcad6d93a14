#include "tools/cli/device_log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/messages.h"
#include "xsvf/shown_text.h"

namespace {

// The log is written on the front end's thread alone, so the shared calendar
// of std::gmtime serves.
std::string UtcTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
  return text;
}

std::string HexId(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", id);
  return text;
}

// The units one firmware transfer served, from the row's "%d *  " prefix.
int Multiplicity(const RowSnapshot& row) {
  const int units = std::atoi(row.mark.c_str());
  return units > 1 ? units : 1;
}

std::string TargetsJson(const DeviceLogEntry& entry) {
  std::string json = "[";
  for (size_t i = 0; i < entry.last.rows.size(); ++i) {
    const RowSnapshot& row = entry.last.rows[i];
    if (i > 0) json += ",";
    json += "{\"id\":" + JsonString(i < entry.ids.size() ? HexId(entry.ids[i]) : "") +
            ",\"name\":" + JsonString(row.name) + ",\"outcome\":" +
            JsonString(TargetOutcome(row)) + ",\"multiplicity\":" +
            std::to_string(Multiplicity(row)) + "}";
  }
  return json + "]";
}

}  // namespace

const char* TargetOutcome(const RowSnapshot& row) {
  const struct {
    Message message;
    const char* outcome;
  } kByStatus[] = {
      {MsgUnsuccessful, "failed"},
      {MsgMissingTarget, "missing target"},
      {MsgUnknownKind, "not handled"},
      {MsgCancelled, "cancelled"},
  };
  for (const auto& entry : kByStatus) {
    if (row.status == MessageText(entry.message)) return entry.outcome;
  }
  return row.percent == 100 ? "updated" : "not reached";
}

std::string DeviceLogLine(const DeviceLogEntry& entry) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", entry.seconds);
  return "{\"start\":" + JsonString(UtcTime(entry.start)) + ",\"port\":" + JsonString(entry.port) +
         ",\"file\":" + JsonString(entry.file) + ",\"sha256\":" + JsonString(entry.fileSha256) +
         ",\"verified\":" + (entry.fileVerified ? "true" : "false") +
         ",\"targets\":" + TargetsJson(entry) + ",\"seconds\":" + seconds +
         ",\"status\":" + JsonString(entry.statusLine) +
         ",\"exit\":" + std::to_string(entry.exitStatus) + "}";
}

DeviceLog::~DeviceLog() {
  if (file) std::fclose(file);
}

bool DeviceLog::Open(const std::string& path, std::string* error) {
  file = std::fopen(path.c_str(), "a");
  if (file) return true;
  *error = "Cannot write the log " + path + ": " + std::strerror(errno) + ".";
  return false;
}

bool DeviceLog::Append(const DeviceLogEntry& entry) {
  const std::string line = DeviceLogLine(entry) + "\n";
  const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  return written && std::fflush(file) == 0 && SyncToDisk(file);
}
