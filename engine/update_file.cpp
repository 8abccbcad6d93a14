#include "engine/update_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/messages.h"
#include "xsvf/hex_digit.h"

const KnownFormat knownFormats[2] = {
    {0, "V1.00"},
    {1, "V1.01"},
};

namespace {

using upd::HexDigitValue;

constexpr char kFormatMarker[] = "Firmwareupdate-Fileformat-";
constexpr int32_t kRunLengthFlag = 0x0001;
constexpr int kRepeatRunBit = 0x80;

void SkipWhiteSpace(FileCursor& file) {
  int c = file.Get();
  while (IsWhiteSpace(c)) c = file.Get();
  if (c != EOF) file.Unget();
}

void TrimTrailingWhiteSpace(std::string* text) {
  size_t end = text->size();
  while (end > 0 && IsWhiteSpace(static_cast<unsigned char>((*text)[end - 1]))) --end;
  text->resize(end);
}

// The version token after the marker: white space skipped, then everything up
// to the next white space. Empty when the line ends first.
std::string VersionToken(const std::string& line, size_t markerEnd) {
  size_t begin = markerEnd;
  while (begin < line.size() && IsWhiteSpace(static_cast<unsigned char>(line[begin]))) ++begin;
  size_t end = begin;
  while (end < line.size() && !IsWhiteSpace(static_cast<unsigned char>(line[end]))) ++end;
  return line.substr(begin, end - begin);
}

// "V1.00 V1.01 ": every known name followed by one blank, as MsgWrongVersion lists them.
std::string KnownFormatList() {
  std::string list;
  for (const KnownFormat& format : knownFormats) {
    list += format.name;
    list += ' ';
  }
  return list;
}

bool FailHeader(std::string text, std::string* message) {
  *message = std::move(text);
  return false;
}

bool FailWrongFormat(const std::string& path, std::string* message) {
  return FailHeader(FormatMessageText(MsgWrongFileformat, path.c_str()), message);
}

bool ReadTargetNames(FileCursor& file, uint32_t count, UpdateFileHeader* header) {
  for (uint32_t i = 0; i < count; ++i) {
    UpdateFileHeader::Target target;
    if (!ReadHexField(file, 2, &target.id) || !ReadLine(file, &target.name)) return false;
    TrimTrailingWhiteSpace(&target.name);
    header->targets.push_back(std::move(target));
  }
  return true;
}

}  // namespace

std::string HexId(uint32_t id) {
  char text[12];
  std::snprintf(text, sizeof text, "%02X", id);
  return text;
}

const KnownFormat* FindKnownFormat(const std::string& name) {
  for (const KnownFormat& format : knownFormats) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool FileCursor::Fill() {
  bufferStart = position;
  bufferCount = file->ReadAt(position, buffer, sizeof buffer);
  return bufferCount > 0;
}

bool FileCursor::Skip(uint64_t count) {
  if (count > Remaining()) {
    position = file->Size();
    return false;
  }
  position += count;
  return true;
}

bool FileCursor::Take(uint8_t* to, size_t count) {
  if (count > Remaining()) return false;
  for (size_t i = 0; i < count; ++i) to[i] = static_cast<uint8_t>(Get());
  return true;
}

bool ReadHexField(FileCursor& file, int width, uint32_t* value) {
  SkipWhiteSpace(file);
  uint32_t result = 0;
  int digits = 0;
  while (digits < width) {
    const int c = file.Get();
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      if (c != EOF) file.Unget();
      break;
    }
    result = result * 16 + static_cast<uint32_t>(digit);
    ++digits;
  }
  if (digits == 0) return false;
  *value = result;
  return true;
}

bool ReadLine(FileCursor& file, std::string* line) {
  line->clear();
  while (line->size() < kMaxLineLength) {
    const int c = file.Get();
    if (c == EOF) break;
    line->push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line->empty();
}

bool ReadUpdateHeader(const UpdateFileCopy& copy, const std::string& path,
                      UpdateFileHeader* header, std::string* message) {
  *header = UpdateFileHeader();
  FileCursor file(copy, 0);
  std::string line;
  if (!ReadLine(file, &line)) return FailWrongFormat(path, message);
  const size_t marker = line.find(kFormatMarker);
  if (marker == std::string::npos) return FailWrongFormat(path, message);

  const std::string token = VersionToken(line, marker + sizeof kFormatMarker - 1);
  const KnownFormat* format = FindKnownFormat(token);
  if (format == nullptr) {
    return FailHeader(FormatMessageText(MsgWrongVersion, token.c_str(), path.c_str(),
                                        KnownFormatList().c_str()),
                      message);
  }
  header->formatVersion = format->id;

  // More targets than the record has rows cannot be shown or updated.
  uint32_t count = 0;
  if (!ReadHexField(file, 2, &count) || count > kMaxTargets ||
      !ReadTargetNames(file, count, header)) {
    header->targets.clear();
    return FailWrongFormat(path, message);
  }
  header->recordsStart = file.Position();
  return true;
}

bool ReadUpdateFileSnapshot(const std::string& path, UpdateFileSnapshot* file,
                            UpdateFileHeader* header, std::string* message) {
  if (path.empty()) {
    *message = MessageText(MsgNoFileSelected);
    return false;
  }
  std::shared_ptr<const UpdateFileCopy> copy = UpdateFileCopy::Make(path, message);
  if (!copy || !ReadUpdateHeader(*copy, path, header, message)) return false;
  file->copy = std::move(copy);
  file->recordsStart = header->recordsStart;
  return true;
}

bool UpdateFileReader::ReadTargetId(uint32_t* targetId) {
  return ReadHexField(file, 2, targetId);
}

bool UpdateFileReader::ReadRecordHeader() {
  if (formatVersion == 0) {
    targetFlags = 0;
    targetKind = KindFirmware;
  } else {
    uint32_t flags = 0;
    uint32_t kind = 0;
    if (!ReadHexField(file, 4, &flags) || !ReadHexField(file, 4, &kind)) return false;
    targetFlags = static_cast<int32_t>(flags);
    targetKind = static_cast<int32_t>(kind);
  }
  // A record without data would never end, and its progress would have no
  // divisor; a length above 0x7FFFFFFF does not fit the signed length field.
  uint32_t length = 0;
  if (!ReadHexField(file, 8, &length) || length == 0 || length > INT32_MAX) return false;
  targetLength = static_cast<int32_t>(length);
  return true;
}

void UpdateFileReader::StartRecordData() {
  consumed = 0;
  runCount = 0;
  targetEnded = 0;
}

// Plain data: one digit pair ("V1.00") or one raw byte ("V1.01") per stored byte.
bool UpdateFileReader::ReadPlainByte(uint8_t* byte) {
  if (formatVersion == 0) {
    uint32_t value = 0;
    if (!ReadHexField(file, 2, &value)) return false;
    *byte = static_cast<uint8_t>(value);
  } else {
    const int c = file.Get();
    if (c == EOF) return false;
    *byte = static_cast<uint8_t>(c);
  }
  ++consumed;
  return true;
}

// Decodes the next run of run-length coded data into runBuffer. Fails at the end
// of the file, for a run of length 0, and for a run whose stored bytes would
// reach past the record's length: such a record is malformed, and reading on
// would take bytes of the next record.
bool UpdateFileReader::DecodeNextRun() {
  const int count = file.Get();
  if (count == EOF) return false;
  ++consumed;
  const bool repeat = (count & kRepeatRunBit) != 0;
  const int32_t decoded = count & ~kRepeatRunBit;
  const int32_t followingBytes = repeat ? 1 : decoded;
  if (decoded == 0 || followingBytes > targetLength - consumed) return false;

  if (repeat) {
    const int value = file.Get();
    if (value == EOF) return false;
    for (int32_t i = 0; i < decoded; ++i) runBuffer[i] = static_cast<uint8_t>(value);
  } else if (!file.Take(runBuffer, static_cast<size_t>(decoded))) {
    return false;
  }
  consumed += followingBytes;
  runCount = decoded;
  runPosition = 0;
  return true;
}

bool UpdateFileReader::ReadRunLengthByte(uint8_t* byte) {
  if (runCount == 0 && !DecodeNextRun()) return false;
  *byte = runBuffer[runPosition++];
  --runCount;
  return true;
}

bool UpdateFileReader::ReadDataByte(uint8_t* byte) {
  if (targetEnded) return false;
  const bool runLengthCoded = (targetFlags & kRunLengthFlag) != 0;
  // Plain data end with the record; coded data may still hold decoded bytes.
  if (consumed >= targetLength && runCount == 0) return false;
  if (!(runLengthCoded ? ReadRunLengthByte(byte) : ReadPlainByte(byte))) return false;
  if (consumed >= targetLength && runCount == 0) targetEnded = 1;
  return true;
}

bool UpdateFileReader::SkipRecordRest() {
  int64_t distance = int64_t{targetLength} - consumed;
  if (formatVersion == 0) distance *= 2;
  return file.Skip(static_cast<uint64_t>(distance));
}

int32_t UpdateFileReader::Percent() const {
  if (targetLength <= 0) return 0;
  return static_cast<int32_t>(int64_t{consumed} * 100 / targetLength);
}

void ReportProgress(UpdateState& state, const UpdateFileReader& reader) {
  state.CurrentRow().percent.store(reader.Percent());
  state.CurrentRow().done.store(reader.Consumed());
  state.refreshNeeded.store(true);
}

static_assert(sizeof kTrailerMarker - 1 + 3 + 2 * sizeof(Sha256Digest) + 2 == kTrailerSize,
              "marker, format and blank, digest, CR LF");

std::string ChecksumTrailer(const Sha256Digest& digest) {
  char format[8];
  std::snprintf(format, sizeof format, "%02X ", kTrailerFormat);
  return kTrailerMarker + std::string(format) + Sha256Hex(digest) + "\r\n";
}

TrailerContents ReadChecksumTrailer(const uint8_t* lastBytes, size_t count) {
  constexpr size_t kMarkerSize = sizeof kTrailerMarker - 1;
  constexpr size_t kFormatAt = kMarkerSize;
  constexpr size_t kDigestAt = kFormatAt + 3;
  TrailerContents trailer;
  if (count != kTrailerSize || std::memcmp(lastBytes, kTrailerMarker, kMarkerSize) != 0) {
    return trailer;
  }
  trailer.present = true;
  const int high = HexDigitValue(lastBytes[kFormatAt]);
  const int low = HexDigitValue(lastBytes[kFormatAt + 1]);
  if (high < 0 || low < 0) return trailer;
  trailer.format = static_cast<unsigned>(high * 16 + low);
  if (trailer.format != kTrailerFormat || lastBytes[kFormatAt + 2] != ' ' ||
      lastBytes[kTrailerSize - 2] != '\r' || lastBytes[kTrailerSize - 1] != '\n') {
    return trailer;
  }
  for (size_t i = 0; i < trailer.digest.size(); ++i) {
    const int digitHigh = HexDigitValue(lastBytes[kDigestAt + 2 * i]);
    const int digitLow = HexDigitValue(lastBytes[kDigestAt + 2 * i + 1]);
    if (digitHigh < 0 || digitLow < 0) return trailer;
    trailer.digest[i] = static_cast<uint8_t>(digitHigh * 16 + digitLow);
  }
  trailer.readable = true;
  return trailer;
}

bool Sha256OfCopy(const UpdateFileCopy& file, uint64_t count, Sha256Digest* digest) {
  Sha256 hash;
  uint8_t piece[64 * 1024];
  for (uint64_t done = 0; done < count;) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(sizeof piece, count - done));
    const size_t got = file.ReadAt(done, piece, wanted);
    if (got == 0) return false;
    hash.Update(piece, got);
    done += got;
  }
  return hash.Finish(digest);
}
