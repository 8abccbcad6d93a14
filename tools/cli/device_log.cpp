#include "tools/cli/device_log.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "tools/cli/json_text.h"

// The log is written on the front end's thread alone, so the shared calendar
// of std::gmtime serves.
std::string UtcTime(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
  return text;
}

namespace {

Json TargetsJson(const DeviceLogEntry& entry) {
  Json targets = Json::array();
  for (size_t i = 0; i < entry.last.rows.size(); ++i) {
    const RowSnapshot& row = entry.last.rows[i];
    targets.push_back({{"id", i < entry.ids.size() ? HexId(entry.ids[i]) : ""},
                       {"name", JsonTargetName(row.name)},
                       {"outcome", OutcomeName(row.outcome)},
                       {"multiplicity", row.multiplicity}});
  }
  return targets;
}

// What both entries begin with.
Json EntryStart(const char* entry, std::chrono::system_clock::time_point start,
                const std::string& port, const std::string& file, const std::string& sha256) {
  return Json{{"entry", entry}, {"start", UtcTime(start)}, {"port", port}, {"file", file},
              {"sha256", sha256}};
}

// Seconds to the millisecond, as a JSON number.
double Milliseconds(double seconds) {
  return std::round(seconds * 1000) / 1000;
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
    case TargetOutcome::NotSelected:
      return "not selected";
    case TargetOutcome::NotReached:
      break;
  }
  return "not reached";
}

// "signature" and, for a signed file, "keyId".
void AddSignature(Json& line, const SignatureCheck& signature) {
  line["signature"] = SignatureStateName(signature.state);
  if (!signature.keyId.empty()) line["keyId"] = signature.keyId;
}

std::string DeviceLogStartLine(const DeviceLogStart& start) {
  Json line = EntryStart("start", start.start, start.port, start.file, start.fileSha256);
  AddSignature(line, start.signature);
  return JsonText(line);
}

std::string DeviceLogLine(const DeviceLogEntry& entry) {
  Json line = EntryStart("end", entry.start, entry.port, entry.file, entry.fileSha256);
  line["verified"] = entry.fileVerified;
  AddSignature(line, entry.signature);
  line["targets"] = TargetsJson(entry);
  line["seconds"] = Milliseconds(entry.seconds);
  line["status"] = entry.statusLine;
  line["exit"] = entry.exitStatus;
  // A field of its own only when the update gave any.
  if (!entry.warnings.empty()) line["warnings"] = entry.warnings;
  return JsonText(line);
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
