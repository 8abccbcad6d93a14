#include "engine/update_file_check.h"

#include <algorithm>
#include <cstdio>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "engine/update_file.h"
#include "xsvf/xsvf_program.h"

namespace {

// Decoded data go to the visitor in pieces of this size.
constexpr size_t kDataPiece = 4096;
// The checksum is computed over pieces of the file of this size.
constexpr size_t kHashPiece = 64 * 1024;

std::string Located(const std::string& fault, uint32_t index, std::FILE* file) {
  return FormatMessageText(MsgFaultPlace, fault.c_str(), static_cast<unsigned>(index + 1),
                           std::ftell(file));
}

// Reads the current record's data to their end and hands them on. Returns the
// visitor's fault, or "" with *ended false when the data end early or are badly
// coded.
std::string ReadRecordData(UpdateFileReader& reader, RecordVisitor& visitor, bool* ended) {
  reader.StartRecordData();
  uint8_t piece[kDataPiece];
  size_t count = 0;
  uint8_t byte = 0;
  while (reader.ReadDataByte(&byte)) {
    piece[count++] = byte;
    if (count == sizeof piece) {
      const std::string fault = visitor.RecordData(piece, count);
      if (!fault.empty()) return fault;
      count = 0;
    }
  }
  *ended = reader.Ended();
  return count > 0 ? visitor.RecordData(piece, count) : "";
}

// One record whose header has been read: its data read or skipped, then the end.
std::string VisitRecord(UpdateFileReader& reader, RecordVisitor& visitor,
                        const RecordHeader& header) {
  if (!visitor.StartRecord(header)) {
    reader.StartRecordData();
    if (!reader.SkipRecordRest()) return MessageText(MsgFileUnreadable);
    return visitor.EndRecord();
  }
  bool ended = false;
  const std::string fault = ReadRecordData(reader, visitor, &ended);
  if (!fault.empty()) return fault;
  if (!ended) return MessageText(MsgBadRecordData);
  return visitor.EndRecord();
}

// Firmware data, block by block as they stream past: a 2-byte length of at most
// 998, then that many payload bytes, ending exactly with the data.
class FirmwareBlocksCheck {
 public:
  std::string Take(const uint8_t* bytes, size_t count) {
    while (count > 0) {
      if (lengthBytes < 2) {
        if (lengthBytes == 0) ++blocks;
        length = length * 256 + *bytes++;
        --count;
        if (++lengthBytes == 2 && length > kMaxBlockPayload) {
          return FormatMessageText(MsgBlockTooLong, blocks, length,
                                   static_cast<unsigned>(kMaxBlockPayload));
        }
      } else {
        const size_t taken = std::min<size_t>(count, length - payloadTaken);
        payloadTaken += static_cast<uint32_t>(taken);
        bytes += taken;
        count -= taken;
      }
      if (lengthBytes == 2 && payloadTaken == length) FinishBlock();
    }
    return "";
  }

  std::string End() const {
    if (lengthBytes == 1) return FormatMessageText(MsgBlockWithoutLength, blocks);
    if (lengthBytes == 2) return FormatMessageText(MsgBlockCutOff, blocks);
    return "";
  }

  unsigned blocks = 0;
  uint64_t payloadBytes = 0;

 private:
  void FinishBlock() {
    payloadBytes += length;
    lengthBytes = 0;
    length = 0;
    payloadTaken = 0;
  }

  unsigned lengthBytes = 0;  // of the current block's length field, 0 between blocks
  unsigned length = 0;
  uint32_t payloadTaken = 0;
};

// The read-through's look at each record: skips kinds an update skips, checks the
// contents of the others and keeps a summary of each.
class ContentsCheck : public RecordVisitor {
 public:
  bool StartRecord(const RecordHeader& header) override {
    current = RecordSummary();
    current.header = header;
    firmware = FirmwareBlocksCheck();
    program.clear();
    current.skipped = header.kind != KindFirmware && header.kind != KindXsvf;
    return !current.skipped;
  }

  std::string RecordData(const uint8_t* bytes, size_t count) override {
    if (current.header.kind == KindFirmware) return firmware.Take(bytes, count);
    program.insert(program.end(), bytes, bytes + count);
    return "";
  }

  std::string EndRecord() override {
    if (current.header.kind == KindFirmware) {
      const std::string fault = firmware.End();
      if (!fault.empty()) return fault;
      current.blocks = firmware.blocks;
      current.payloadBytes = firmware.payloadBytes;
    } else if (current.header.kind == KindXsvf) {
      XsvfProgram parsed;
      std::string error;
      if (!ParseXsvfProgram(program.data(), program.size(), &parsed, &error)) {
        return FormatMessageText(MsgBadXsvfProgram, error.c_str());
      }
      current.commands = parsed.commands.size();
      current.bytesAfterComplete = parsed.trailing.size();
    }
    summaries.push_back(current);
    return "";
  }

  std::vector<RecordSummary> summaries;

 private:
  RecordSummary current;
  FirmwareBlocksCheck firmware;
  std::vector<uint8_t> program;  // an XSVF record's data, parsed at its end
};

// Gathers each record's data whole for ReadRecords.
class ContentsCollector : public RecordVisitor {
 public:
  explicit ContentsCollector(const std::function<std::string(const RecordContents&)>& visit)
      : visit(visit) {}

  bool StartRecord(const RecordHeader& header) override {
    record = RecordContents{header, {}};
    return true;
  }
  std::string RecordData(const uint8_t* bytes, size_t count) override {
    record.data.insert(record.data.end(), bytes, bytes + count);
    return "";
  }
  std::string EndRecord() override { return visit(record); }

 private:
  const std::function<std::string(const RecordContents&)>& visit;
  RecordContents record;
};

// The SHA-256 of every byte of the file but the last kTrailerSize, which are
// handed back in *last (fewer for a shorter file). Reads from the start in pieces.
bool HashAllButTrailer(std::FILE* file, Sha256& hash, std::vector<uint8_t>* last) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return false;
  last->clear();
  std::vector<uint8_t> piece(kHashPiece);
  size_t count = 0;
  while ((count = std::fread(piece.data(), 1, piece.size(), file)) > 0) {
    // Of the bytes held back and the new ones, all but the last kTrailerSize
    // are hashed now.
    const size_t total = last->size() + count;
    const size_t hashed = total > kTrailerSize ? total - kTrailerSize : 0;
    const size_t fromLast = std::min(hashed, last->size());
    hash.Update(last->data(), fromLast);
    hash.Update(piece.data(), hashed - fromLast);
    last->erase(last->begin(), last->begin() + static_cast<std::ptrdiff_t>(fromLast));
    last->insert(last->end(), piece.begin() + static_cast<std::ptrdiff_t>(hashed - fromLast),
                 piece.begin() + static_cast<std::ptrdiff_t>(count));
  }
  return std::ferror(file) == 0;
}

// Checks the trailer, if any. False with the result filled in for a file that
// cannot be read or whose checksum does not match.
bool CheckTrailer(UpdateState& state, UpdateFileCheck* check) {
  const std::string path = state.filePath.Get();
  Sha256 hash;
  std::vector<uint8_t> last;
  if (!HashAllButTrailer(state.updateFile, hash, &last)) {
    check->statusLine = FormatMessageText(MsgBadRecord, path.c_str());
    check->detail = MessageText(MsgFileUnreadable);
    return false;
  }
  const TrailerContents trailer = ReadChecksumTrailer(last.data(), last.size());
  if (!trailer.present) return true;
  if (trailer.format != kTrailerFormat && trailer.format != 0) {
    check->checksum = ChecksumState::NotVerified;
    check->checksumNote = FormatMessageText(MsgUnknownTrailer, trailer.format);
    return true;
  }
  Sha256Digest digest{};
  if (trailer.readable && !hash.Finish(&digest)) {
    check->checksum = ChecksumState::NotVerified;
    check->checksumNote = MessageText(MsgNoSha256);
    return true;
  }
  if (trailer.readable && digest == trailer.digest) {
    check->checksum = ChecksumState::Verified;
    return true;
  }
  check->checksum = ChecksumState::Mismatch;
  check->statusLine = FormatMessageText(MsgFileDamaged, path.c_str());
  check->detail = trailer.readable ? FormatMessageText(MsgChecksumMismatch,
                                                       Sha256Hex(digest).c_str(),
                                                       Sha256Hex(trailer.digest).c_str())
                                   : MessageText(MsgUnreadableTrailer);
  return false;
}

}  // namespace

std::string WalkRecords(UpdateState& state, RecordVisitor& visitor, uint32_t* records) {
  std::FILE* file = state.updateFile;
  UpdateFileReader reader(file, state.formatVersion);
  *records = 0;
  uint32_t targetId = 0;
  if (!reader.ReadTargetId(&targetId)) return Located(MessageText(MsgNoTargetRecord), 0, file);
  while (targetId != 0) {
    const uint32_t index = *records;
    // An update ends at an eleventh record: the state has ten rows.
    if (index >= kMaxTargets) {
      return Located(FormatMessageText(MsgTooManyRecords, kMaxTargets), index, file);
    }
    if (!reader.ReadRecordHeader()) {
      return Located(MessageText(MsgBadRecordHeader), index, file);
    }
    const std::string name = index < state.targetCount ? state.rows[index].name.Get() : "";
    const RecordHeader header{index, targetId, name, reader.Kind(), reader.Flags(), reader.Length()};
    const std::string fault = VisitRecord(reader, visitor, header);
    if (!fault.empty()) return Located(fault, index, file);
    ++*records;
    if (!reader.ReadTargetId(&targetId)) {
      return Located(MessageText(MsgNoNextTargetId), *records, file);
    }
  }
  return "";
}

std::string ReadRecords(UpdateState& state,
                        const std::function<std::string(const RecordContents&)>& visit) {
  ContentsCollector collector(visit);
  uint32_t records = 0;
  return WalkRecords(state, collector, &records);
}

UpdateFileCheck ReadThroughUpdateFile(UpdateState& state) {
  UpdateFileCheck check;
  const std::string path = state.filePath.Get();
  const long afterHeader = std::ftell(state.updateFile);
  if (afterHeader >= 0 && CheckTrailer(state, &check) &&
      std::fseek(state.updateFile, afterHeader, SEEK_SET) == 0) {
    ContentsCheck contents;
    uint32_t records = 0;
    check.detail = WalkRecords(state, contents, &records);
    // A file cut just after the first digit of a target id reads as if that were
    // the closing 00: fewer records than names is how a cut shows.
    if (check.detail.empty() && records < state.targetCount) {
      check.detail = Located(FormatMessageText(MsgFewerRecords, state.targetCount, records),
                             records, state.updateFile);
    }
    check.records = std::move(contents.summaries);
    check.good = check.detail.empty();
    if (!check.good) check.statusLine = FormatMessageText(MsgBadRecord, path.c_str());
  }
  if (afterHeader < 0 || std::fseek(state.updateFile, afterHeader, SEEK_SET) != 0) {
    check.good = false;
    check.statusLine = FormatMessageText(MsgBadRecord, path.c_str());
    if (check.detail.empty()) check.detail = MessageText(MsgFileUnreadable);
  }
  return check;
}
