#include "tools/cli/device_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "engine/messages.h"
#include "xsvf/shown_text.h"

// The log is written on the front end's thread alone, so the shared calendar
// of std::gmtime serves.
std::string UtcTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
  return text;
}

namespace {

std::string HexId(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", id);
  return text;
}

std::string TargetsJson(const DeviceLogEntry& entry) {
  std::string json = "[";
  for (size_t i = 0; i < entry.last.rows.size(); ++i) {
    const RowSnapshot& row = entry.last.rows[i];
    if (i > 0) json += ",";
    json += "{\"id\":" + JsonString(i < entry.ids.size() ? HexId(entry.ids[i]) : "") +
            ",\"name\":" + JsonString(row.name) + ",\"outcome\":" +
            JsonString(OutcomeName(row.outcome)) + ",\"multiplicity\":" +
            std::to_string(row.multiplicity) + "}";
  }
  return json + "]";
}

// The update's warnings, as a field of their own; nothing when there are none.
std::string WarningsJson(const std::vector<std::string>& warnings) {
  if (warnings.empty()) return "";
  std::string json = ",\"warnings\":[";
  for (size_t i = 0; i < warnings.size(); ++i) json += (i > 0 ? "," : "") + JsonString(warnings[i]);
  return json + "]";
}

}  // namespace

const char* OutcomeName(TargetOutcome outcome) {
  switch (outcome) {
    case TargetOutcome::Updated:
      return "updated";
    case TargetOutcome::Failed:
      return "failed";
    case TargetOutcome::MissingTarget:
      return "missing target";
    case TargetOutcome::NotHandled:
      return "not handled";
    case TargetOutcome::Cancelled:
      return "cancelled";
    case TargetOutcome::PartlySent:
      return "partly sent";
    case TargetOutcome::NotReached:
      break;
  }
  return "not reached";
}

// "signature" and, for a signed file, "keyId".
std::string SignatureJson(const SignatureCheck& signature) {
  std::string json = ",\"signature\":" + JsonString(SignatureStateName(signature.state));
  if (!signature.keyId.empty()) json += ",\"keyId\":" + JsonString(signature.keyId);
  return json;
}

std::string DeviceLogStartLine(const DeviceLogStart& start) {
  return "{\"entry\":\"start\",\"start\":" + JsonString(UtcTime(start.start)) +
         ",\"port\":" + JsonString(start.port) + ",\"file\":" + JsonString(start.file) +
         ",\"sha256\":" + JsonString(start.fileSha256) + SignatureJson(start.signature) + "}";
}

std::string DeviceLogLine(const DeviceLogEntry& entry) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", entry.seconds);
  return "{\"entry\":\"end\",\"start\":" + JsonString(UtcTime(entry.start)) +
         ",\"port\":" + JsonString(entry.port) + ",\"file\":" + JsonString(entry.file) +
         ",\"sha256\":" + JsonString(entry.fileSha256) +
         ",\"verified\":" + (entry.fileVerified ? "true" : "false") +
         SignatureJson(entry.signature) + ",\"targets\":" + TargetsJson(entry) +
         ",\"seconds\":" + seconds + ",\"status\":" + JsonString(entry.statusLine) +
         ",\"exit\":" + std::to_string(entry.exitStatus) + WarningsJson(entry.warnings) + "}";
}

DeviceLog::~DeviceLog() {
  if (file) std::fclose(file);
}

bool DeviceLog::Open(const std::string& path, std::string* error) {
  file = std::fopen(path.c_str(), "a");
  if (file) return true;
  *error = FormatMessageText(MsgLogUnwritable, path.c_str(), std::strerror(errno));
  return false;
}

bool DeviceLog::AppendStart(const DeviceLogStart& start) {
  return AppendLine(DeviceLogStartLine(start) + "\n");
}

bool DeviceLog::Append(const DeviceLogEntry& entry) {
  return AppendLine(DeviceLogLine(entry) + "\n");
}

bool DeviceLog::AppendLine(const std::string& line) {
  const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  return written && std::fflush(file) == 0 && SyncToDisk(file);
}
