#include "tools/cli/file_check.h"

#include "engine/update_file.h"
#include "engine/update_session.h"
#include "xsvf/xsvf_program.h"

namespace {

std::string Where(const UpdateState& state) {
  return " (target " + std::to_string(state.currentTarget.load() + 1) + ", file offset " +
         std::to_string(std::ftell(state.updateFile)) + ")";
}

// Reads the current record's data to their end. False if they end early or are
// badly coded.
bool ReadRecordData(UpdateFileReader& reader, std::vector<uint8_t>* data) {
  reader.StartRecordData();
  uint8_t byte;
  while (reader.ReadDataByte(&byte)) data->push_back(byte);
  return reader.Ended();
}

// Firmware data: blocks of a 2-byte length (at most 998) and their payload, ending
// exactly at the record's end.
std::string CheckFirmware(const std::vector<uint8_t>& data, std::string* summary) {
  size_t blocks = 0;
  size_t position = 0;
  while (position < data.size()) {
    ++blocks;
    const std::string block = "block " + std::to_string(blocks);
    if (data.size() - position < 2) return block + " has no complete length field";
    const size_t length = data[position] * 256u + data[position + 1];
    if (length > kMaxBlockPayload) {
      return block + " has " + std::to_string(length) + " payload bytes, more than " +
             std::to_string(kMaxBlockPayload);
    }
    position += 2 + length;
    if (position > data.size()) return block + " is cut off by the record's end";
  }
  *summary = "firmware, " + std::to_string(blocks) + " blocks, " +
             std::to_string(data.size() - 2 * blocks) + " payload bytes";
  return "";
}

// XSVF data: a program that parses to XCOMPLETE.
std::string CheckXsvf(const std::vector<uint8_t>& data, std::string* summary) {
  XsvfProgram program;
  std::string error;
  if (!ParseXsvfProgram(data.data(), data.size(), &program, &error)) {
    return "XSVF program: " + error;
  }
  *summary = "XSVF, " + std::to_string(program.commands.size()) + " commands";
  if (!program.trailing.empty()) {
    *summary += ", " + std::to_string(program.trailing.size()) + " bytes after XCOMPLETE";
  }
  return "";
}

// --check's look at one record: its contents and a summary line.
std::string CheckContents(const RecordContents& record, std::FILE* out) {
  std::string summary;
  std::string fault;
  if (record.kind == KindFirmware) {
    fault = CheckFirmware(record.data, &summary);
  } else if (record.kind == KindXsvf) {
    fault = CheckXsvf(record.data, &summary);
  } else {
    char kind[64];
    std::snprintf(kind, sizeof kind, "kind %04X, not handled: an update skips it",
                  static_cast<unsigned>(record.kind));
    summary = kind;
  }
  if (!fault.empty()) return fault;
  std::fprintf(out, "%2u%s: %s; %d stored bytes%s\n", record.index + 1, record.name.c_str(),
               summary.c_str(), record.storedLength,
               (record.flags & 1) ? ", run-length coded" : "");
  return "";
}

}  // namespace

bool OpenCheckedFile(UpdateState& state, const std::string& path, std::FILE* err) {
  state.filePath.Set(path);
  std::string message;
  if (OpenUpdateFile(state, &message)) return true;
  std::fputs(message.c_str(), err);
  if (message.empty() || message.back() != '\n') std::fputc('\n', err);
  CloseUpdateResources(state);
  return false;
}

std::string ReadRecords(UpdateState& state, const RecordVisitor& visit) {
  UpdateFileReader reader(state.updateFile, state.formatVersion);
  state.currentTarget.store(0);
  uint32_t targetId = 0;
  if (!reader.ReadTargetId(&targetId)) return "no target record" + Where(state);
  while (targetId != 0) {
    const uint32_t index = state.currentTarget.load();
    if (index >= kMaxTargets) {
      return "more than " + std::to_string(kMaxTargets) + " target records" + Where(state);
    }
    if (!reader.ReadRecordHeader()) return "the record header cannot be read" + Where(state);
    RecordContents record{index,         targetId,       state.rows[index].name.Get(),
                          reader.Kind(), reader.Flags(), reader.Length(), {}};
    if (!ReadRecordData(reader, &record.data)) {
      return "the record's data are cut off or badly coded" + Where(state);
    }
    const std::string fault = visit(record);
    if (!fault.empty()) return fault + Where(state);
    state.currentTarget.fetch_add(1);
    if (!reader.ReadTargetId(&targetId)) {
      return "the next target id (or the closing 00) cannot be read" + Where(state);
    }
  }
  return "";
}

int RunCheckCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  static UpdateState state;
  if (!OpenCheckedFile(state, options.file, err)) return ExitUnusable;
  std::fprintf(out, "%s: format %s, %u targets\n", options.file.c_str(),
               knownFormats[state.formatVersion].name, state.targetCount);
  const std::string fault = ReadRecords(
      state, [out](const RecordContents& record) { return CheckContents(record, out); });
  const uint32_t records = state.currentTarget.load();
  CloseUpdateResources(state);
  if (!fault.empty()) {
    std::fprintf(err, "%s: %s\n", options.file.c_str(), fault.c_str());
    return ExitUnusable;
  }
  if (records != state.targetCount) {
    std::fprintf(out, "note: the header names %u targets, the file holds %u records\n",
                 state.targetCount, records);
  }
  std::fprintf(out, "OK\n");
  return ExitAllUpdated;
}

int RunListCommand(const CliOptions& options, std::FILE* out, std::FILE* err) {
  static UpdateState state;
  if (!OpenCheckedFile(state, options.file, err)) return ExitUnusable;
  std::fprintf(out, "%s: format %s, %u targets\n", options.file.c_str(),
               knownFormats[state.formatVersion].name, state.targetCount);
  for (uint32_t i = 0; i < state.targetCount; ++i) {
    std::fprintf(out, "%2u %s\n", i + 1, state.rows[i].name.Get().c_str());
  }
  CloseUpdateResources(state);
  return ExitAllUpdated;
}
