#include "tools/cli/update_packer.h"

#include <cstdlib>
#include <optional>
#include <set>

#include "engine/ec_key.h"
#include "engine/messages.h"
#include "engine/update_file.h"
#include "engine/update_file_check.h"
#include "engine/update_signature.h"
#include "engine/update_state.h"
#include "engine/update_writer.h"
#include "svf/svf_converter.h"
#include "tools/common/command_line.h"
#include "xsvf/file_bytes.h"
#include "xsvf/output_file.h"
#include "xsvf/shown_text.h"
#include "xsvf/xsvf_program.h"

namespace {

constexpr const char* kProgram = "mkupd";

const std::vector<OptionSpec> kOptions = {
    {'o', "output", "FILE", "the update file to write (required)"},
    {0, "format", "VERSION", "V1.01 (default) or V1.00, which holds firmware only"},
    {0, "block-size", "N", "firmware payload bytes per block, 1 to 998\n(default 998)"},
    {0, "firmware", "ID NAME IMAGE", "a firmware image, cut into blocks", 2, true},
    {0, "xsvf", "ID NAME PROGRAM", "an XSVF program (it must parse to XCOMPLETE)", 2, true},
    {0, "svf", "ID NAME PROGRAM", "an SVF program, converted to XSVF as svf2xsvf does", 2, true},
    {0, "data", "ID NAME KIND FILE", "data stored as they are, of any kind (hex),\nfor tests", 3,
     true},
    {0, "rle", nullptr, "after a target: run-length code its data (V1.01)"},
    {0, "no-checksum", nullptr,
     "leave out the checksum trailer, as files\nwere written before it existed"},
    {0, "sign", "KEY.pem", "sign the file with this ECDSA P-256 private key"},
    {0, "in", "FILE", "sign this update file as it stands instead of\npacking one (with --sign)"},
    {0, "replace-signature", nullptr, "with --in: a file already signed is signed\nanew"},
    kHelpOption,
    kVersionOption,
};

std::string Usage() {
  return "usage: mkupd -o FILE.upd [--format V1.00|V1.01] [--block-size N] [--sign KEY.pem]\n"
         "             TARGET...\n"
         "       mkupd --sign KEY.pem --in FILE.upd [-o SIGNED.upd] [--replace-signature]\n"
         "\n"
         "Writes an update file and reads it back with the updater's own reader\n"
         "before it reports success; an existing FILE.upd is replaced only then. The\n"
         "targets, at most 10, go to the device in the order given; each is --firmware,\n"
         "--xsvf, --svf or --data, optionally followed by --rle. ID is the target's id\n"
         "in hex (01 to FF), each id once. The name line\n"
         "reads 'ID NAME'; the window shows the name with the blank in front of it.\n"
         "The file ends in a checksum trailer (SHA-256) that the updater verifies.\n"
         "With --sign, a signature block follows it, made with KEY.pem (an ECDSA\n"
         "P-256 key: openssl ecparam -name prime256v1 -genkey -noout -out KEY.pem).\n"
         "With --in, the file is signed as it stands, byte for byte: it must read\n"
         "through and have its checksum trailer; the signed file goes to SIGNED.upd,\n"
         "or replaces FILE.upd when -o is not given.\n"
         "\n" +
         OptionsAndExitStatus(kOptions, "the file was written and reads back as meant",
                              "an input cannot be read or used, or the file cannot be written");
}

// A target as the command line names it; its file is read afterwards.
struct TargetSpec {
  std::string option;  // firmware, xsvf or data
  UpdateTarget target;
  std::string path;
};

struct PackOptions {
  std::string output;
  std::string format = "V1.01";
  size_t blockSize = kMaxBlockPayload;
  Trailer trailer = Trailer::Checksum;
  std::string signingKey;        // --sign
  std::string input;             // --in: the file to sign as it stands
  bool replaceSignature = false;  // --replace-signature
  std::vector<TargetSpec> targets;
  std::vector<std::string> notes;  // from converting SVF programs
};

bool ParseHex(const std::string& text, unsigned long maximum, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 16);
  return !text.empty() && *end == '\0' && *value <= maximum;
}

// A target option's values: ID NAME [KIND] FILE.
bool ParseTarget(const CommandLine::Given& given, std::set<unsigned long>* ids,
                 TargetSpec* spec, std::string* error) {
  spec->option = given.spec->longName;
  unsigned long id = 0;
  if (!ParseHex(given.value, 0xFF, &id) || id == 0) {
    *error = "target id '" + given.value + "' is not a hex number from 01 to FF";
    return false;
  }
  if (!ids->insert(id).second) {
    *error = "target id " + given.value + " is given twice: each target needs an id of its own";
    return false;
  }
  spec->target.id = static_cast<uint8_t>(id);
  spec->target.name = " " + given.more[0];
  unsigned long kind = spec->option == "xsvf" || spec->option == "svf" ? KindXsvf : KindFirmware;
  if (spec->option == "data" && !ParseHex(given.more[1], 0xFFFF, &kind)) {
    *error = "kind '" + given.more[1] + "' is not a hex number from 0 to FFFF";
    return false;
  }
  spec->target.kind = static_cast<uint16_t>(kind);
  spec->path = given.more.back();
  return true;
}

bool ParseBlockSize(const std::string& text, size_t* blockSize, std::string* error) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > kMaxBlockPayload) {
    *error = "--block-size must be from 1 to 998";
    return false;
  }
  *blockSize = value;
  return true;
}

// The options of signing, among themselves and with those of packing.
bool CheckSigningOptions(const CommandLine& line, PackOptions* options, std::string* error) {
  if (!options->input.empty()) {
    if (options->signingKey.empty()) {
      *error = "--in names a file to sign: give --sign KEY.pem as well";
      return false;
    }
    for (const char* packing : {"format", "block-size", "no-checksum", "rle"}) {
      if (line.Has(packing)) {
        *error = "--" + std::string(packing) + " is for packing: --in signs a file as it stands";
        return false;
      }
    }
    if (!options->targets.empty()) {
      *error = "--in signs a file as it stands: it takes no targets";
      return false;
    }
    if (options->output.empty()) options->output = options->input;
    return true;
  }
  if (options->replaceSignature) {
    *error = "--replace-signature goes with --in";
    return false;
  }
  if (!options->signingKey.empty() && options->trailer == Trailer::None) {
    *error = "--sign needs the checksum trailer: leave out --no-checksum";
    return false;
  }
  if (options->output.empty() || options->targets.empty()) {
    *error = "name the output with -o and at least one target";
    return false;
  }
  return true;
}

// Reads the command line into *options; the files are not read yet.
bool ParsePackOptions(const CommandLine& line, PackOptions* options, std::string* error) {
  std::set<unsigned long> ids;
  for (const CommandLine::Given& given : line.options) {
    const std::string name = given.spec->longName;
    if (name == "output") {
      options->output = given.value;
    } else if (name == "format") {
      options->format = given.value;
    } else if (name == "block-size") {
      if (!ParseBlockSize(given.value, &options->blockSize, error)) return false;
    } else if (name == "no-checksum") {
      options->trailer = Trailer::None;
    } else if (name == "sign") {
      options->signingKey = given.value;
    } else if (name == "in") {
      options->input = given.value;
    } else if (name == "replace-signature") {
      options->replaceSignature = true;
    } else if (name == "rle") {
      if (options->targets.empty()) {
        *error = "--rle belongs after the target whose data it codes";
        return false;
      }
      options->targets.back().target.runLengthCoded = true;
    } else {
      TargetSpec spec;
      if (!ParseTarget(given, &ids, &spec, error)) return false;
      options->targets.push_back(std::move(spec));
    }
  }
  if (!line.operands.empty()) {
    *error = "unexpected argument '" + line.operands.front() + "'";
    return false;
  }
  if (!CheckSigningOptions(line, options, error)) return false;
  if (options->targets.size() > kMaxTargets) {
    *error = "at most " + std::to_string(kMaxTargets) + " targets go into one file, not " +
             std::to_string(options->targets.size());
    return false;
  }
  if (FindKnownFormat(options->format) == nullptr) {
    *error = "--format must be V1.01 or V1.00, not '" + options->format + "'";
    return false;
  }
  return true;
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

// Reads a target's file and makes its data: blocks of firmware, a checked XSVF
// program (converted from SVF for --svf), or the bytes as they stand.
bool LoadTarget(PackOptions& options, TargetSpec& spec, std::string* error) {
  UpdateTarget& target = spec.target;
  if (spec.option == "svf") {
    if (!ConvertSvfTarget(spec.path, &target.data, &options.notes, error)) return false;
  } else if (!ReadFileBytes(spec.path, &target.data)) {
    *error = "cannot read " + spec.path;
    return false;
  }
  if (spec.option == "firmware") {
    if (target.data.empty()) {
      *error = spec.path + " is empty: a firmware image needs at least one byte";
      return false;
    }
    target.data = FirmwareBlocks(target.data, options.blockSize);
  } else if (spec.option == "xsvf" || spec.option == "svf") {
    // The updater's own check: what it would refuse is not written.
    const XsvfProgramCheck program = CheckXsvfProgram(target.data.data(), target.data.size());
    if (program.error != 0) {
      *error = spec.path + ": " + XsvfProgramFault(program);
      return false;
    }
  }
  return true;
}

// The signing key of --sign; false with the key file and the reason.
bool LoadSigningKey(const std::string& path, EcPrivateKey* key, std::string* error) {
  std::string text;
  std::string reason;
  if (ReadKeyFile(path, true, &text, &reason) && ParsePrivateKeyPem(text, key, &reason)) {
    if (IsUsableP256Key(key->point)) return true;
    reason = MessageText(MsgKeyNotOnCurve);
  }
  *error = path + ": " + reason;
  return false;
}

// The signing key's public half, as the check of a written file trusts it.
TrustedKeys SigningKeyTrusted(const EcPrivateKey& key) {
  TrustedKeys trusted;
  trusted.keys.push_back(TrustedKey{"", key.point, KeyIdOf(key.point)});
  return trusted;
}

// Reads the written file back with the updater's reader, its checksum and
// signature too, and compares every record with what was meant to go in. Returns
// the first difference, or "".
std::string VerifyWrittenFile(const PackOptions& options, const TrustedKeys& signer,
                              const std::string& writtenPath) {
  UpdateFileSnapshot file;
  UpdateFileHeader header;
  std::string fault;
  std::vector<RecordContents> records;
  // The records' contents are not judged here: --data writes bad ones on purpose.
  const ChecksumState meant =
      options.trailer == Trailer::Checksum ? ChecksumState::Verified : ChecksumState::None;
  const SignatureState meantSignature =
      signer.Empty() ? SignatureState::Unsigned : SignatureState::Trusted;
  if (!ReadUpdateFileSnapshot(writtenPath, &file, &header, &fault)) return fault;
  const UpdateFileCheck check = ReadThroughUpdateFile(file, writtenPath, signer);
  if (check.checksum != meant) return "its checksum does not verify";
  if (check.signature.state != meantSignature) return "its signature does not verify";
  fault = ReadRecords(file, header, [&records](const RecordContents& record) {
    records.push_back(record);
    return std::string();
  });
  if (!fault.empty()) return fault;
  if (records.size() != options.targets.size()) {
    return "the file reads back with another number of records";
  }
  for (size_t i = 0; i < records.size(); ++i) {
    const UpdateTarget& target = options.targets[i].target;
    if (records[i].header.id != target.id || records[i].header.kind != target.kind ||
        records[i].data != target.data) {
      return "target " + std::to_string(i + 1) + " reads back differently";
    }
  }
  return "";
}

int Fail(std::FILE* err, const std::string& message) {
  ReportFailure(err, kProgram, message);
  return kExitNotWritten;
}

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// Appends the signature block of the bytes before it to a packed file.
bool AppendSignature(const EcPrivateKey& key, std::vector<uint8_t>* file, std::string* error) {
  const std::shared_ptr<const UpdateFileCopy> copy =
      UpdateFileCopy::FromBytes(file->data(), file->size());
  SignatureBlock block;
  if (!copy) {
    *error = "cannot write a temporary file";
    return false;
  }
  if (!SignCopy(*copy, copy->Size(), key, &block, error)) return false;
  const std::string text = SignatureBlockText(block);
  file->insert(file->end(), text.begin(), text.end());
  return true;
}

int PackFile(const PackOptions& options, std::FILE* out, std::FILE* err) {
  std::string error;
  EcPrivateKey key;
  TrustedKeys signer;
  if (!options.signingKey.empty()) {
    if (!LoadSigningKey(options.signingKey, &key, &error)) return Fail(err, error);
    signer = SigningKeyTrusted(key);
  }
  std::vector<UpdateTarget> targets;
  PackOptions loaded = options;
  for (TargetSpec& spec : loaded.targets) {
    if (!LoadTarget(loaded, spec, &error)) return Fail(err, error);
    targets.push_back(spec.target);
  }
  std::vector<uint8_t> file;
  if (!BuildUpdateFile(loaded.format, targets, &file, &error, loaded.trailer) ||
      (!signer.Empty() && !AppendSignature(key, &file, &error))) {
    return Fail(err, error);
  }
  // Written beside the output and read back from there: the output is replaced
  // only by a file that reads back as written, and stays as it was otherwise.
  AtomicFile written(loaded.output);
  if (!written.Open() || !written.Write(file.data(), file.size()) || !written.Flush()) {
    return Fail(err, "cannot write " + loaded.output);
  }
  const std::string fault = VerifyWrittenFile(loaded, signer, written.TemporaryPath());
  if (!fault.empty()) return Fail(err, loaded.output + " does not read back as written: " + fault);
  if (!written.Commit()) return Fail(err, "cannot write " + loaded.output);
  for (const std::string& note : loaded.notes) std::fprintf(err, "%s\n", TerminalText(note).c_str());
  std::fprintf(out, "%s: %s, %zu targets, %zu bytes%s%s\n", TerminalText(loaded.output).c_str(),
               loaded.format.c_str(), targets.size(), file.size(),
               loaded.trailer == Trailer::Checksum ? ", checksum" : "",
               signer.Empty() ? "" : (", signed by key " + signer.keys[0].id).c_str());
  return 0;
}

// Copies the first `count` bytes of the copy to the file being written.
bool CopyBytes(const UpdateFileCopy& file, uint64_t count, AtomicFile& written) {
  uint8_t piece[64 * 1024];
  for (uint64_t done = 0; done < count;) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(sizeof piece, count - done));
    if (file.ReadAt(done, piece, wanted) != wanted || !written.Write(piece, wanted)) return false;
    done += wanted;
  }
  return true;
}

// mkupd --sign KEY.pem --in FILE: the file as it stands, byte for byte, with a
// signature block after its checksum trailer (instead of the block it had, with
// --replace-signature).
int SignExistingFile(const PackOptions& options, std::FILE* out, std::FILE* err) {
  std::string error;
  EcPrivateKey key;
  if (!LoadSigningKey(options.signingKey, &key, &error)) return Fail(err, error);
  const TrustedKeys signer = SigningKeyTrusted(key);
  UpdateFileSnapshot file;
  UpdateFileHeader header;
  if (!ReadUpdateFileSnapshot(options.input, &file, &header, &error)) {
    return Fail(err, WithoutLineEnd(error));
  }
  const UpdateFileCheck check = ReadThroughUpdateFile(file, options.input, TrustedKeys());
  if (!check.good) return Fail(err, options.input + " does not read through: " + check.detail);
  if (check.checksum != ChecksumState::Verified) {
    return Fail(err, options.input +
                         " has no checksum trailer, which a signature needs: pack it anew with "
                         "mkupd");
  }
  const SignaturePlace place = FindSignatureBlock(*file.copy);
  if (place.present && !options.replaceSignature) {
    return Fail(err, options.input + " is already signed by key " + place.block.keyId +
                         ": give --replace-signature to sign it anew");
  }
  SignatureBlock block;
  if (!SignCopy(*file.copy, place.start, key, &block, &error)) {
    return Fail(err, options.signingKey + ": " + error);
  }
  const std::string text = SignatureBlockText(block);
  AtomicFile written(options.output);
  if (!written.Open() || !CopyBytes(*file.copy, place.start, written) ||
      !written.Write(text.data(), text.size()) || !written.Flush()) {
    return Fail(err, "cannot write " + options.output);
  }
  UpdateFileSnapshot signedFile;
  const bool readsBack =
      ReadUpdateFileSnapshot(written.TemporaryPath(), &signedFile, &header, &error) &&
      ReadThroughUpdateFile(signedFile, options.output, signer).good;
  if (!readsBack) return Fail(err, options.output + " does not read back as signed");
  if (!written.Commit()) return Fail(err, "cannot write " + options.output);
  std::fprintf(out, "%s: signed by key %s\n", options.output.c_str(), block.keyId.c_str());
  return 0;
}

}  // namespace

int RunMkupd(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
  CommandLine line;
  if (std::optional<int> ended =
          StartProgram(arguments, kOptions, kProgram, Usage(), out, err, &line)) {
    return *ended;
  }
  std::string error;
  PackOptions options;
  if (!ParsePackOptions(line, &options, &error)) return ReportUsageError(err, kProgram, error);
  return options.input.empty() ? PackFile(options, out, err)
                               : SignExistingFile(options, out, err);
}
