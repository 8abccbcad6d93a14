#include "tools/cli/file_check.h"

#include <vector>

#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "tools/cli/progress_view.h"
#include "tools/cli/trusted_keys.h"
#include "xsvf/shown_text.h"

namespace {

// A line of the output, with whatever the file or its path hold shown, not obeyed.
void PrintLine(std::FILE* out, const std::string& line) {
  std::fprintf(out, "%s\n", TerminalText(line).c_str());
}

std::string HexId(uint32_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", id & 0xFF);
  return text;
}

// The message without the line end that some of the table's texts carry.
std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
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

const char* ChecksumJson(ChecksumState state) {
  switch (state) {
    case ChecksumState::Verified: return "\"ok\"";
    case ChecksumState::None: return "\"none\"";
    case ChecksumState::NotVerified: return "\"not verified\"";
    case ChecksumState::Mismatch: return "\"mismatch\"";
  }
  return "null";
}

std::string KindText(int32_t kind) {
  if (kind == KindFirmware) return "firmware";
  if (kind == KindXsvf) return "XSVF";
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(kind));
  return text;
}

// --check's line for one record.
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

std::string RecordJson(const RecordSummary& record) {
  const RecordHeader& header = record.header;
  std::string json = "{\"position\":" + std::to_string(header.index + 1) +
                     ",\"id\":" + JsonString(HexId(header.id)) +
                     ",\"name\":" + JsonString(header.name) +
                     ",\"kind\":" + JsonString(KindText(header.kind)) +
                     ",\"storedBytes\":" + std::to_string(header.storedLength) +
                     ",\"runLengthCoded\":" + (header.RunLengthCoded() ? "true" : "false") +
                     ",\"skipped\":" + (record.skipped ? "true" : "false");
  if (!record.skipped && header.kind == KindFirmware) {
    json += ",\"blocks\":" + std::to_string(record.blocks) +
            ",\"payloadBytes\":" + std::to_string(record.payloadBytes);
  } else if (!record.skipped) {
    json += ",\"commands\":" + std::to_string(record.commands) +
            ",\"bytesAfterComplete\":" + std::to_string(record.bytesAfterComplete);
  }
  return json + "}";
}

template <typename Item, typename Describe>
std::string JsonArray(const std::vector<Item>& items, Describe describe) {
  std::string json = "[";
  for (size_t i = 0; i < items.size(); ++i) json += (i > 0 ? "," : "") + describe(items[i]);
  return json + "]";
}

// The first line of --list and --check: "FILE: format V1.01, 3 targets, checksum
// OK, signed by trusted key 1a2b3c4d5e6f7081".
std::string FileLine(const CliOptions& options, const UpdateFileCheck& check) {
  return options.file + ": format " + knownFormats[check.header.formatVersion].name + ", " +
         std::to_string(check.header.targets.size()) + " targets, " + ChecksumText(check) +
         ", " + SignatureStateText(check.signature);
}

// The start of the JSON document of --list and --check, up to the fields of each.
std::string JsonStart(const char* command, const CliOptions& options) {
  return std::string("{\"command\":\"") + command + "\",\"file\":" + JsonString(options.file);
}

std::string JsonFileFields(const UpdateFileCheck& check) {
  std::string json = ",\"format\":" + JsonString(knownFormats[check.header.formatVersion].name) +
                     ",\"targetCount\":" + std::to_string(check.header.targets.size()) +
                     ",\"checksum\":" + ChecksumJson(check.checksum);
  if (!check.checksumNote.empty()) json += ",\"checksumNote\":" + JsonString(check.checksumNote);
  json += ",\"signature\":" + JsonString(SignatureStateName(check.signature.state));
  if (!check.signature.keyId.empty()) json += ",\"keyId\":" + JsonString(check.signature.keyId);
  return json;
}

// Reads the trusted keys, then the file whole and its header. On failure the
// error is reported (as JSON with --json).
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
    std::fprintf(out, "%s,\"exit\":%d,\"message\":%s}\n", JsonStart(command, options).c_str(),
                 ExitUnusable, JsonString(message).c_str());
  } else {
    std::fprintf(err, "%s\n", TerminalLines(message).c_str());
  }
  return false;
}

// A file whose read-through failed: the detail, as text on err or in the JSON
// document with the status line an update would have ended on.
int ReportBadFile(const std::string& json, const CliOptions& options,
                  const UpdateFileCheck& check, std::FILE* out, std::FILE* err) {
  if (options.json) {
    std::fprintf(out, "%s,\"exit\":%d,\"message\":%s,\"status\":%s}\n", json.c_str(),
                 ExitUnusable, JsonString(check.detail).c_str(),
                 JsonString(check.statusLine).c_str());
  } else {
    PrintLine(err, options.file + ": " + check.detail);
  }
  return ExitUnusable;
}

// The header's targets: position, id and name.
std::string HeaderTargetsJson(const UpdateFileHeader& header) {
  std::string json = "[";
  for (size_t i = 0; i < header.targets.size(); ++i) {
    json += std::string(i > 0 ? "," : "") + "{\"position\":" + std::to_string(i + 1) +
            ",\"id\":" + JsonString(HexId(header.targets[i].id)) +
            ",\"name\":" + JsonString(header.targets[i].name) + "}";
  }
  return json + "]";
}

}  // namespace

int RunCheckCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  UpdateFileSnapshot file;
  TrustedKeys trusted;
  if (!OpenForCommand("check", options, &trusted, &file, out, err)) return ExitUnusable;
  const UpdateFileCheck check = ReadThroughUpdateFile(file, options.file, trusted);
  std::string json = JsonStart("check", options) + JsonFileFields(check) +
                     ",\"targets\":" + JsonArray(check.records, RecordJson) +
                     ",\"records\":" + std::to_string(check.records.size());
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
    std::fprintf(out, "%s,\"exit\":0}\n", json.c_str());
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
  const std::string json = JsonStart("list", options) + JsonFileFields(check) +
                           ",\"targets\":" + HeaderTargetsJson(check.header);
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
    std::fprintf(out, "%s,\"exit\":0}\n", json.c_str());
    return ExitAllUpdated;
  }
  PrintLine(out, FileLine(options, check));
  for (const UpdateFileHeader::Target& target : check.header.targets) {
    PrintLine(out, HexId(target.id) + " " + target.name);
  }
  return ExitAllUpdated;
}
