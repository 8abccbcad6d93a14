#include "engine/update_file_check.h"

#include <algorithm>
#include <cstdio>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "engine/update_file.h"
#include "engine/update_signature.h"
#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_program.h"

namespace {

// Decoded data go to the firmware check in pieces of this size.
constexpr size_t kDataPiece = 4096;

std::string Located(const std::string& fault, uint32_t index, uint64_t offset) {
  return FormatMessageText(MsgFaultPlace, fault.c_str(), static_cast<unsigned>(index + 1),
                           static_cast<long>(offset));
}

// Reads what the visitor left of the record's data; "" when they end as the
// record says, else the fault.
std::string ReadRestOfData(UpdateFileReader& reader) {
  uint8_t byte = 0;
  while (reader.ReadDataByte(&byte)) {
  }
  return reader.Ended() ? "" : MessageText(MsgBadRecordData);
}

// One record whose header has been read: its data read or skipped, then the end.
std::string VisitRecord(UpdateFileReader& reader, RecordVisitor& visitor,
                        const RecordHeader& header) {
  reader.StartRecordData();
  if (!visitor.StartRecord(header)) {
    if (!reader.SkipRecordRest()) return MessageText(MsgBadRecordData);
    return visitor.EndRecord();
  }
  std::string fault = visitor.ReadData(reader);
  if (fault.empty()) fault = ReadRestOfData(reader);
  return fault.empty() ? visitor.EndRecord() : fault;
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
    current.skipped = header.kind != KindFirmware && header.kind != KindXsvf;
    return !current.skipped;
  }

  std::string ReadData(UpdateFileReader& data) override {
    return current.header.kind == KindFirmware ? ReadFirmware(data) : ReadProgram(data);
  }

  std::string EndRecord() override {
    summaries.push_back(current);
    return "";
  }

  std::vector<RecordSummary> summaries;

 private:
  std::string ReadFirmware(UpdateFileReader& data) {
    FirmwareBlocksCheck firmware;
    uint8_t piece[kDataPiece];
    size_t count = 0;
    bool more = true;
    while (more) {
      more = data.ReadDataByte(&piece[count]);
      if (more) ++count;
      if (count == sizeof piece || (!more && count > 0)) {
        const std::string fault = firmware.Take(piece, count);
        if (!fault.empty()) return fault;
        count = 0;
      }
    }
    if (!data.Ended()) return MessageText(MsgBadRecordData);
    const std::string fault = firmware.End();
    current.blocks = firmware.blocks;
    current.payloadBytes = firmware.payloadBytes;
    return fault;
  }

  // The program is read from the record as the player will read it: data that
  // end before XCOMPLETE because the record is badly coded are the record's fault.
  std::string ReadProgram(UpdateFileReader& data) {
    const XsvfProgramCheck program = CheckXsvfProgram(data);
    if (program.error == XsvfProgramEnded && !data.Ended()) return MessageText(MsgBadRecordData);
    if (program.error != XsvfOk) {
      return FormatMessageText(MsgBadXsvfProgram, XsvfProgramFault(program).c_str());
    }
    current.commands = static_cast<size_t>(program.commands);
    current.bytesAfterComplete = program.bytesAfterComplete;
    return "";
  }

  RecordSummary current;
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
  std::string ReadData(UpdateFileReader& data) override {
    uint8_t byte = 0;
    while (data.ReadDataByte(&byte)) record.data.push_back(byte);
    return "";
  }
  std::string EndRecord() override { return visit(record); }

 private:
  const std::function<std::string(const RecordContents&)>& visit;
  RecordContents record;
};

// The last kTrailerSize bytes before `end` (the signature block, or the end of
// the file): whether they are a trailer, what it says, and where it starts
// (`end` when there is none).
struct TrailerPlace {
  TrailerContents contents;
  uint64_t start = 0;
};

TrailerPlace FindTrailer(const UpdateFileCopy& file, uint64_t end) {
  TrailerPlace trailer;
  trailer.start = end;
  if (end < kTrailerSize) return trailer;
  uint8_t last[kTrailerSize];
  const uint64_t start = end - kTrailerSize;
  if (file.ReadAt(start, last, kTrailerSize) != kTrailerSize) return trailer;
  trailer.contents = ReadChecksumTrailer(last, kTrailerSize);
  if (trailer.contents.present) trailer.start = start;
  return trailer;
}

// Checks the trailer, if any, against the bytes before it. False with the result
// filled in when the file is refused: a digest that differs, a trailer that
// cannot be read, or one this updater cannot check.
bool CheckTrailer(const UpdateFileCopy& file, const TrailerPlace& place, const std::string& path,
                  UpdateFileCheck* check) {
  const TrailerContents& trailer = place.contents;
  if (!trailer.present) return true;
  Sha256Digest digest{};
  if (trailer.format != kTrailerFormat && trailer.format != 0) {
    check->checksum = ChecksumState::NotVerified;
    check->checksumNote = FormatMessageText(MsgUnknownTrailer, trailer.format);
  } else if (trailer.readable) {
    if (!Sha256OfCopy(file, place.start, &digest)) {
      check->checksum = ChecksumState::NotVerified;
      check->checksumNote = MessageText(MsgNoSha256);
    } else if (digest == trailer.digest) {
      check->checksum = ChecksumState::Verified;
      return true;
    }
  }
  if (check->checksum == ChecksumState::NotVerified) {
    check->statusLine = FormatMessageText(MsgNotVerifiable, path.c_str());
    check->detail = check->checksumNote;
    return false;
  }
  check->checksum = ChecksumState::Mismatch;
  check->statusLine = FormatMessageText(MsgFileDamaged, path.c_str());
  check->detail = trailer.readable ? FormatMessageText(MsgChecksumMismatch,
                                                       Sha256Hex(digest).c_str(),
                                                       Sha256Hex(trailer.digest).c_str())
                                   : MessageText(MsgUnreadableTrailer);
  return false;
}

// What follows the id 00: white space, then the end of the file or the trailer
// that CheckTrailer has checked (and the signature block after it). "" or the
// fault; *inSignature when it is a signature block out of place.
std::string CheckAfterRecords(const UpdateFileCopy& file, uint64_t trailerStart, uint64_t end,
                              uint32_t records, const SignaturePlace& signature,
                              bool* inSignature) {
  FileCursor rest(file, end);
  for (uint64_t at = end; at < trailerStart; ++at) {
    if (!IsWhiteSpace(rest.Get())) {
      const std::string fault = SignatureFaultAmong(file, at, trailerStart, signature);
      *inSignature = !fault.empty();
      if (*inSignature) return Located(fault, records, at);
      return Located(
          FormatMessageText(MsgStrayBytes, static_cast<unsigned long>(trailerStart - at)), records,
          at);
    }
  }
  return "";
}

}  // namespace

std::string XsvfProgramFault(const XsvfProgramCheck& program) {
  if (program.error == XsvfProgramEnded && !program.inOperands) {
    return FormatMessageText(MsgXsvfNoComplete, static_cast<long>(program.commands));
  }
  const char* what = program.error == XsvfProgramEnded ? MessageText(MsgXsvfCutShort)
                                                       : XsvfErrorText(program.error);
  return FormatMessageText(MsgXsvfCommandFault, static_cast<long>(program.commands),
                           XsvfCommandName(program.command),
                           static_cast<unsigned long>(program.commandOffset), what);
}

std::string WalkRecords(const UpdateFileSnapshot& file, const UpdateFileHeader& header,
                        RecordVisitor& visitor, uint32_t* records, uint64_t* end) {
  UpdateFileReader reader(file, header.formatVersion);
  *records = 0;
  *end = file.recordsStart;
  uint32_t targetId = 0;
  if (!reader.ReadTargetId(&targetId)) {
    return Located(MessageText(MsgNoTargetRecord), 0, reader.Position());
  }
  while (targetId != 0) {
    const uint32_t index = *records;
    // An update ends at an eleventh record: the state has ten rows.
    if (index >= kMaxTargets) {
      return Located(FormatMessageText(MsgTooManyRecords, kMaxTargets), index, reader.Position());
    }
    if (!reader.ReadRecordHeader()) {
      return Located(MessageText(MsgBadRecordHeader), index, reader.Position());
    }
    const std::string name = index < header.targets.size() ? header.targets[index].name : "";
    const RecordHeader record{index, targetId, name, reader.Kind(), reader.Flags(),
                              reader.Length()};
    const std::string fault = VisitRecord(reader, visitor, record);
    if (!fault.empty()) return Located(fault, index, reader.Position());
    ++*records;
    if (!reader.ReadTargetId(&targetId)) {
      return Located(MessageText(MsgNoNextTargetId), *records, reader.Position());
    }
  }
  *end = reader.Position();
  return "";
}

std::string ReadRecords(const UpdateFileSnapshot& file, const UpdateFileHeader& header,
                        const std::function<std::string(const RecordContents&)>& visit) {
  ContentsCollector collector(visit);
  uint32_t records = 0;
  uint64_t end = 0;
  return WalkRecords(file, header, collector, &records, &end);
}

UpdateFileCheck ReadThroughUpdateFile(const UpdateFileSnapshot& file, const std::string& path,
                                      const TrustedKeys& trusted) {
  UpdateFileCheck check;
  if (!file.copy) {
    check.statusLine = FormatMessageText(MsgBadRecord, path.c_str());
    check.detail = MessageText(MsgFileUnreadable);
    return check;
  }
  std::string message;
  if (!ReadUpdateHeader(*file.copy, path, &check.header, &message)) {
    check.statusLine = message;
    check.detail = message;
    return check;
  }
  const SignaturePlace signature = FindSignatureBlock(*file.copy);
  if (!signature.fault.empty()) {
    check.statusLine = FormatMessageText(MsgBadSignatureBlock, path.c_str());
    check.detail = signature.fault;
    return check;
  }
  const TrailerPlace trailer = FindTrailer(*file.copy, signature.start);
  if (!CheckTrailer(*file.copy, trailer, path, &check)) return check;
  check.signature = CheckSignature(*file.copy, signature, trusted);
  ContentsCheck contents;
  uint32_t records = 0;
  uint64_t end = 0;
  const uint32_t named = static_cast<uint32_t>(check.header.targets.size());
  check.detail = WalkRecords(file, check.header, contents, &records, &end);
  // A file cut just after the first digit of a target id reads as if that were
  // the closing 00: fewer records than names is how a cut shows.
  if (check.detail.empty() && records < named) {
    check.detail = Located(FormatMessageText(MsgFewerRecords, named, records), records, end);
  }
  if (check.detail.empty() && records == 0) {
    check.detail = Located(MessageText(MsgNoTargets), 0, end);
  }
  bool signatureOutOfPlace = false;
  if (check.detail.empty()) {
    check.detail =
        CheckAfterRecords(*file.copy, trailer.start, end, records, signature, &signatureOutOfPlace);
  }
  check.records = std::move(contents.summaries);
  if (!check.detail.empty()) {
    check.statusLine = FormatMessageText(
        signatureOutOfPlace ? MsgBadSignatureBlock : MsgBadRecord, path.c_str());
    return check;
  }
  // The file reads through: whether its signature lets it reach the device.
  std::string why;
  check.statusLine = SignatureRefusal(check.signature, trusted, path, &why);
  check.detail = why.empty() ? check.statusLine : why;
  check.good = check.statusLine.empty();
  if (check.good) check.detail.clear();
  return check;
}
