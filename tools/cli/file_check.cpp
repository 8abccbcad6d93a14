#include "tools/cli/file_check.h"

#include <vector>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "tools/cli/json_text.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/trusted_keys.h"
#include "xsvf/shown_text.h"

namespace {

// A line of the output, with whatever the file or its path hold shown, not obeyed.
void PrintLine(std::FILE* out, const std::string& line) {
  std::fprintf(out, "%s\n", TerminalText(line).c_str());
}

// The checksum as the first line says it: ", checksum OK" and so on.
std::string ChecksumText(const UpdateFileCheck& check) {
  switch (check.checksum) {
    case ChecksumState::Verified: return "checksum OK";
    case ChecksumState::None: return "no checksum";
    case ChecksumState::NotVerified: return "checksum not verified: " + check.checksumNote;
    case ChecksumState::Mismatch: return "checksum does not match";
  }
  return "";
}

Json ChecksumJson(ChecksumState state) {
  switch (state) {
    case ChecksumState::Verified: return "ok";
    case ChecksumState::None: return "none";
    case ChecksumState::NotVerified: return "not verified";
    case ChecksumState::Mismatch: return "mismatch";
  }
  return nullptr;
}

std::string KindText(int32_t kind) {
  if (kind == KindFirmware) return "firmware";
  if (kind == KindXsvf) return "XSVF";
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(kind));
  return text;
}

}  // namespace

std::string RecordLine(const RecordSummary& record) {
  const RecordHeader& header = record.header;
  std::string contents;
  if (record.skipped) {
    contents = "kind " + KindText(header.kind) + ", not handled: an update skips it";
  } else if (header.kind == KindFirmware) {
    contents = "firmware, " + std::to_string(record.blocks) + " blocks, " +
               std::to_string(record.payloadBytes) + " payload bytes";
  } else {
    contents = "XSVF, " + std::to_string(record.commands) + " commands";
    if (record.bytesAfterComplete > 0) {
      contents += ", " + std::to_string(record.bytesAfterComplete) + " bytes after XCOMPLETE";
    }
  }
  return HexId(header.id) + " " + header.name + ": " + contents + "; " +
         std::to_string(header.storedLength) + " stored bytes" +
         (header.RunLengthCoded() ? ", run-length coded" : "");
}

namespace {

Json RecordJson(const RecordSummary& record) {
  const RecordHeader& header = record.header;
  Json json{{"position", header.index + 1},
            {"id", HexId(header.id)},
            {"name", JsonTargetName(header.name)},
            {"kind", KindText(header.kind)},
            {"storedBytes", header.storedLength},
            {"runLengthCoded", header.RunLengthCoded()},
            {"skipped", record.skipped}};
  if (!record.skipped && header.kind == KindFirmware) {
    json["blocks"] = record.blocks;
    json["payloadBytes"] = record.payloadBytes;
  } else if (!record.skipped) {
    json["commands"] = record.commands;
    json["bytesAfterComplete"] = record.bytesAfterComplete;
  }
  return json;
}

// The first line of --list and --check: "FILE: format V1.01, 3 targets, checksum
// OK, signed by trusted key 1a2b3c4d5e6f7081".
std::string FileLine(const CliOptions& options, const UpdateFileCheck& check) {
  return options.file + ": format " + knownFormats[check.header.formatVersion].name + ", " +
         std::to_string(check.header.targets.size()) + " targets, " + ChecksumText(check) +
         ", " + SignatureStateText(check.signature);
}

// The JSON document of --list and --check starts with the command and the file.
Json JsonStart(const char* command, const CliOptions& options) {
  return Json{{"command", command}, {"file", options.file}};
}

void AddFileFields(const UpdateFileCheck& check, Json* json) {
  (*json)["format"] = knownFormats[check.header.formatVersion].name;
  (*json)["targetCount"] = check.header.targets.size();
  (*json)["checksum"] = ChecksumJson(check.checksum);
  if (!check.checksumNote.empty()) (*json)["checksumNote"] = check.checksumNote;
  (*json)["signature"] = SignatureStateName(check.signature.state);
  if (!check.signature.keyId.empty()) (*json)["keyId"] = check.signature.keyId;
}

void PrintJson(std::FILE* out, const Json& document) {
  std::fprintf(out, "%s\n", JsonText(document).c_str());
}

// The end of the JSON document of a file that cannot be used: what is wrong, and
// the status line an update would have ended on.
void PrintJsonFailure(std::FILE* out, Json document, const std::string& message,
                      const std::string& statusLine) {
  document["exit"] = ExitUnusable;
  document["message"] = message;
  document["status"] = statusLine;
  PrintJson(out, document);
}

// Reads the trusted keys, then the file whole and its header. On failure the
// error is reported (as JSON with --json): an update would end on the same message.
bool OpenForCommand(const char* command, const CliOptions& options, TrustedKeys* trusted,
                    UpdateFileSnapshot* file, std::FILE* out, std::FILE* err) {
  UpdateFileHeader header;
  std::string message;
  if (LoadTrustedKeys(options, trusted, &message) &&
      ReadUpdateFileSnapshot(options.file, file, &header, &message)) {
    return true;
  }
  message = WithoutLineEnd(message);
  if (options.json) {
    PrintJsonFailure(out, JsonStart(command, options), message, message);
  } else {
    std::fprintf(err, "%s\n", TerminalLines(message).c_str());
  }
  return false;
}

// A file whose read-through failed: the detail, as text on err or in the JSON
// document with the status line an update would have ended on.
int ReportBadFile(const Json& json, const CliOptions& options, const UpdateFileCheck& check,
                  std::FILE* out, std::FILE* err) {
  if (options.json) {
    PrintJsonFailure(out, json, check.detail, check.statusLine);
  } else {
    PrintLine(err, options.file + ": " + check.detail);
  }
  return ExitUnusable;
}

// The header's targets: position, id and name.
Json HeaderTargetsJson(const UpdateFileHeader& header) {
  Json targets = Json::array();
  for (size_t i = 0; i < header.targets.size(); ++i) {
    targets.push_back({{"position", i + 1},
                       {"id", HexId(header.targets[i].id)},
                       {"name", JsonTargetName(header.targets[i].name)}});
  }
  return targets;
}

// The document of a good file.
void PrintJsonGood(std::FILE* out, Json document) {
  document["exit"] = ExitAllUpdated;
  PrintJson(out, document);
}

}  // namespace

int RunCheckCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  UpdateFileSnapshot file;
  TrustedKeys trusted;
  if (!OpenForCommand("check", options, &trusted, &file, out, err)) return ExitUnusable;
  const UpdateFileCheck check = ReadThroughUpdateFile(file, options.file, trusted);
  Json json = JsonStart("check", options);
  AddFileFields(check, &json);
  json["targets"] = Json::array();
  for (const RecordSummary& record : check.records) json["targets"].push_back(RecordJson(record));
  json["records"] = check.records.size();
  if (!check.good) {
    // A file refused for its checksum had no record read.
    const bool recordsRead =
        check.checksum == ChecksumState::None || check.checksum == ChecksumState::Verified;
    if (!options.json && recordsRead) {
      PrintLine(out, FileLine(options, check));
      for (const RecordSummary& record : check.records) PrintLine(out, RecordLine(record));
    }
    return ReportBadFile(json, options, check, out, err);
  }
  if (options.json) {
    PrintJsonGood(out, json);
    return ExitAllUpdated;
  }
  PrintLine(out, FileLine(options, check));
  for (const RecordSummary& record : check.records) PrintLine(out, RecordLine(record));
  if (check.records.size() != check.header.targets.size()) {
    std::fprintf(out, "note: the header names %zu targets, the file holds %zu records\n",
                 check.header.targets.size(), check.records.size());
  }
  std::fprintf(out, "OK\n");
  return ExitAllUpdated;
}

int RunListCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  UpdateFileSnapshot file;
  TrustedKeys trusted;
  if (!OpenForCommand("list", options, &trusted, &file, out, err)) return ExitUnusable;
  UpdateFileCheck check = ReadThroughUpdateFile(file, options.file, trusted);
  Json json = JsonStart("list", options);
  AddFileFields(check, &json);
  json["targets"] = HeaderTargetsJson(check.header);
  // --list reads the records only for the sake of the checksum and the signature:
  // a file refused for either is reported, a fault in the records is --check's
  // business.
  if (check.checksum == ChecksumState::Mismatch || check.checksum == ChecksumState::NotVerified) {
    return ReportBadFile(json, options, check, out, err);
  }
  std::string why;
  const std::string refusal = SignatureRefusal(check.signature, trusted, options.file, &why);
  if (!refusal.empty()) {
    check.statusLine = refusal;
    check.detail = why.empty() ? refusal : why;
    return ReportBadFile(json, options, check, out, err);
  }
  if (options.json) {
    PrintJsonGood(out, json);
    return ExitAllUpdated;
  }
  PrintLine(out, FileLine(options, check));
  for (const UpdateFileHeader::Target& target : check.header.targets) {
    PrintLine(out, HexId(target.id) + " " + target.name);
  }
  return ExitAllUpdated;
}
