#include "tools/cli/update_packer.h"

#include <cstdlib>

#include "engine/file_bytes.h"
#include "engine/update_file.h"
#include "engine/update_session.h"
#include "engine/update_writer.h"
#include "svf/svf_converter.h"
#include "tools/cli/file_check.h"
#include "xsvf/xsvf_program.h"

namespace {

const char* const kUsage =
    "usage: mkupd -o FILE.upd [--format V1.00|V1.01] [--block-size N] TARGET...\n"
    "\n"
    "TARGET, in the order the device gets them (at most 10):\n"
    "  --firmware ID NAME IMAGE   a firmware image, cut into blocks of at most\n"
    "                             --block-size payload bytes (default and most: 998)\n"
    "  --xsvf ID NAME PROGRAM     an XSVF program (it must parse to XCOMPLETE)\n"
    "  --svf ID NAME PROGRAM      an SVF program, converted to XSVF as svf2xsvf does\n"
    "  --data ID NAME KIND FILE   data stored as they are, of any kind (hex), for tests\n"
    "  --rle                      after a target: run-length code its data (V1.01)\n"
    "\n"
    "ID is the target's id in hex (01 to FF). The name line reads 'ID NAME'; the\n"
    "window shows the name with the blank in front of it. The default format is\n"
    "V1.01; V1.00 holds firmware only.\n";

struct PackOptions {
  std::string output;
  std::string format = "V1.01";
  size_t blockSize = kMaxBlockPayload;
  std::vector<UpdateTarget> targets;
  std::vector<std::string> notes;  // from converting SVF programs
};

bool ParseHex(const std::string& text, unsigned long maximum, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return !text.empty() && *end == '\0' && *value <= maximum;
}

// The SVF program at `path` as an XSVF program; false with the first fault.
bool ConvertSvfTarget(const std::string& path, std::vector<uint8_t>* program,
                      std::vector<std::string>* notes, std::string* error) {
  SvfFileInput input;
  if (!input.Open(path)) {
    *error = "cannot read " + path;
    return false;
  }
  XsvfBytesOutput output;
  const SvfConversion conversion = ConvertSvf(input, output);
  if (!conversion.ok) {
    *error = conversion.fault.Describe(path);
    return false;
  }
  for (const SvfMessage& note : conversion.notes) notes->push_back(note.Describe(path));
  *program = output.Bytes();
  return true;
}

// Reads a target's operands: ID NAME [KIND] FILE.
bool ParseTarget(const std::vector<std::string>& arguments, size_t* index, const std::string& option,
                 PackOptions* options, std::string* error) {
  const bool hasKind = option == "--data";
  const size_t operands = hasKind ? 4 : 3;
  if (*index + operands >= arguments.size()) {
    *error = option + " needs " + (hasKind ? "ID NAME KIND FILE" : "ID NAME FILE");
    return false;
  }
  UpdateTarget target;
  unsigned long id = 0;
  if (!ParseHex(arguments[++*index], 0xFF, &id) || id == 0) {
    *error = "target id '" + arguments[*index] + "' is not a hex number from 01 to FF";
    return false;
  }
  target.id = static_cast<uint8_t>(id);
  target.name = " " + arguments[++*index];
  unsigned long kind = option == "--xsvf" || option == "--svf" ? KindXsvf : KindFirmware;
  if (hasKind && !ParseHex(arguments[++*index], 0xFFFF, &kind)) {
    *error = "kind '" + arguments[*index] + "' is not a hex number from 0 to FFFF";
    return false;
  }
  target.kind = static_cast<uint16_t>(kind);
  const std::string& path = arguments[++*index];
  if (option == "--svf") {
    if (!ConvertSvfTarget(path, &target.data, &options->notes, error)) return false;
  } else if (!ReadFileBytes(path, &target.data)) {
    *error = "cannot read " + path;
    return false;
  }
  if (option == "--firmware") target.data = FirmwareBlocks(target.data, options->blockSize);
  if (option == "--xsvf" || option == "--svf") {
    XsvfProgram program;
    std::string reason;
    if (!ParseXsvfProgram(target.data.data(), target.data.size(), &program, &reason)) {
      *error = path + ": " + reason;
      return false;
    }
  }
  options->targets.push_back(std::move(target));
  return true;
}

bool ParsePackOptions(const std::vector<std::string>& arguments, PackOptions* options,
                      std::string* error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "-o" && hasValue) {
      options->output = arguments[++i];
    } else if (argument == "--format" && hasValue) {
      options->format = arguments[++i];
    } else if (argument == "--block-size" && hasValue) {
      options->blockSize = std::strtoul(arguments[++i].c_str(), nullptr, 10);
      if (options->blockSize < 1 || options->blockSize > kMaxBlockPayload) {
        *error = "--block-size must be from 1 to 998";
        return false;
      }
    } else if (argument == "--firmware" || argument == "--xsvf" || argument == "--svf" ||
               argument == "--data") {
      if (!ParseTarget(arguments, &i, argument, options, error)) return false;
    } else if (argument == "--rle" && !options->targets.empty()) {
      options->targets.back().runLengthCoded = true;
    } else {
      *error = "unexpected argument '" + argument + "'";
      return false;
    }
  }
  if (options->output.empty() || options->targets.empty()) {
    *error = "name the output with -o and at least one target";
    return false;
  }
  return true;
}

// Reads the written file back with the updater's reader and compares every record
// with what was meant to go in. Returns the first difference, or "".
std::string VerifyWrittenFile(const PackOptions& options) {
  static UpdateState state;
  state.filePath.Set(options.output);
  std::string message;
  std::string fault;
  std::vector<RecordContents> records;
  if (!OpenUpdateFile(state, &message)) {
    fault = message;
  } else {
    fault = ReadRecords(state, [&records](const RecordContents& record) {
      records.push_back(record);
      return std::string();
    });
  }
  CloseUpdateResources(state);
  if (!fault.empty()) return fault;
  if (records.size() != options.targets.size()) {
    return "the file reads back with another number of records";
  }
  for (size_t i = 0; i < records.size(); ++i) {
    const UpdateTarget& target = options.targets[i];
    if (records[i].id != target.id || records[i].kind != target.kind ||
        records[i].data != target.data) {
      return "target " + std::to_string(i + 1) + " reads back differently";
    }
  }
  return "";
}

}  // namespace

int RunMkupd(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    std::fputs(kUsage, arguments.empty() ? err : out);
    return arguments.empty() ? 2 : 0;
  }
  PackOptions options;
  std::string error;
  std::vector<uint8_t> file;
  if (!ParsePackOptions(arguments, &options, &error) ||
      !BuildUpdateFile(options.format, options.targets, &file, &error)) {
    std::fprintf(err, "mkupd: %s\n", error.c_str());
    return 2;
  }
  if (!WriteFileBytes(options.output, file)) {
    std::fprintf(err, "mkupd: cannot write %s\n", options.output.c_str());
    return 1;
  }
  const std::string fault = VerifyWrittenFile(options);
  if (!fault.empty()) {
    std::remove(options.output.c_str());
    std::fprintf(err, "mkupd: %s does not read back as written: %s\n", options.output.c_str(),
                 fault.c_str());
    return 1;
  }
  for (const std::string& note : options.notes) std::fprintf(err, "%s\n", note.c_str());
  std::fprintf(out, "%s: %s, %zu targets, %zu bytes\n", options.output.c_str(),
               options.format.c_str(), options.targets.size(), file.size());
  return 0;
}
