#include "engine/update_writer.h"

#include <algorithm>
#include <cstdio>

#include "engine/sha256.h"

namespace {

constexpr size_t kMaxRun = 127;
constexpr uint8_t kRepeatRunBit = 0x80;
constexpr uint16_t kRunLengthFlag = 0x0001;
constexpr size_t kMaxStoredLength = 0x7FFFFFFF;

// Why the reader would not give this name back unchanged; empty if it would.
std::string NameProblem(const std::string& name) {
  if (name.size() > kMaxNameLength) return "is longer than 78 characters";
  if (name.find_first_of("\r\n") != std::string::npos) return "holds a line break";
  if (!name.empty() && IsWhiteSpace(static_cast<unsigned char>(name.back()))) {
    return "ends in white space";
  }
  return "";
}

std::vector<uint8_t> StoredData(const UpdateTarget& target) {
  return target.runLengthCoded ? RunLengthCode(target.data) : target.data;
}

// Why `target` cannot be written in `format`; empty if it can.
std::string TargetProblem(const KnownFormat& format, const UpdateTarget& target) {
  char id[8];
  std::snprintf(id, sizeof id, "%02X", target.id);
  const std::string subject = std::string("target ") + id + " ";
  if (target.id == 0) return "target id 00 would end the record list";
  const std::string nameProblem = NameProblem(target.name);
  if (!nameProblem.empty()) return subject + "name " + nameProblem;
  if (format.id == 0 && target.kind != KindFirmware) {
    return subject + "is not firmware, which " + format.name + " cannot hold";
  }
  if (format.id == 0 && target.runLengthCoded) {
    return subject + "is run-length coded, which " + format.name + " cannot hold";
  }
  if (target.data.empty()) return subject + "has no data";
  if (StoredData(target).size() > kMaxStoredLength) return subject + "has too much data";
  return "";
}

void Append(std::vector<uint8_t>* file, const std::string& text) {
  file->insert(file->end(), text.begin(), text.end());
}

void AppendHex(std::vector<uint8_t>* file, const char* format, unsigned value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, format, value);
  Append(file, digits);
}

void AppendRecord(std::vector<uint8_t>* file, const KnownFormat& format,
                  const UpdateTarget& target) {
  const std::vector<uint8_t> stored = StoredData(target);
  AppendHex(file, "%02X", target.id);
  if (format.id == 1) {
    AppendHex(file, " %04X", target.runLengthCoded ? kRunLengthFlag : 0u);
    AppendHex(file, " %04X ", target.kind);
  } else {
    Append(file, " ");
  }
  // The data follow the length's eighth digit directly.
  AppendHex(file, "%08X", static_cast<unsigned>(stored.size()));
  if (format.id == 0) {
    for (uint8_t byte : stored) AppendHex(file, "%02X", byte);
  } else {
    file->insert(file->end(), stored.begin(), stored.end());
  }
  Append(file, "\r\n");
}

// Length of the run of equal bytes at `position`, at most kMaxRun.
size_t RepeatLength(const std::vector<uint8_t>& data, size_t position) {
  size_t length = 1;
  while (position + length < data.size() && length < kMaxRun &&
         data[position + length] == data[position]) {
    ++length;
  }
  return length;
}

}  // namespace

bool AppendChecksumTrailer(std::vector<uint8_t>* file) {
  Sha256 hash;
  hash.Update(file->data(), file->size());
  Sha256Digest digest;
  if (!hash.Finish(&digest)) return false;
  Append(file, ChecksumTrailer(digest));
  return true;
}

bool BuildUpdateFile(const std::string& formatName, const std::vector<UpdateTarget>& targets,
                     std::vector<uint8_t>* file, std::string* reason, Trailer trailer) {
  const KnownFormat* format = FindKnownFormat(formatName);
  if (format == nullptr) {
    *reason = "unknown format version " + formatName;
    return false;
  }
  if (targets.size() > kMaxTargets) {
    *reason = "more than 10 targets";
    return false;
  }
  for (const UpdateTarget& target : targets) {
    *reason = TargetProblem(*format, target);
    if (!reason->empty()) return false;
  }

  file->clear();
  Append(file, std::string("Firmwareupdate-Fileformat-") + format->name + "\r\n");
  AppendHex(file, "%02X\r\n", static_cast<unsigned>(targets.size()));
  for (const UpdateTarget& target : targets) {
    AppendHex(file, "%02X", target.id);
    Append(file, target.name + "\r\n");
  }
  for (const UpdateTarget& target : targets) AppendRecord(file, *format, target);
  Append(file, "00\r\n");
  if (trailer == Trailer::Checksum && !AppendChecksumTrailer(file)) {
    *reason = "the system cannot compute the file's SHA-256 checksum";
    return false;
  }
  return true;
}


std::vector<uint8_t> FirmwareBlocks(const std::vector<uint8_t>& image, size_t maxPayload) {
  maxPayload = std::clamp<size_t>(maxPayload, 1, kMaxBlockPayload);
  std::vector<uint8_t> blocks;
  size_t position = 0;
  do {
    const size_t payload = std::min(maxPayload, image.size() - position);
    blocks.push_back(static_cast<uint8_t>(payload >> 8));
    blocks.push_back(static_cast<uint8_t>(payload & 0xFF));
    blocks.insert(blocks.end(), image.begin() + position, image.begin() + position + payload);
    position += payload;
  } while (position < image.size());
  return blocks;
}

std::vector<uint8_t> RunLengthCode(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> coded;
  size_t position = 0;
  while (position < data.size()) {
    const size_t repeat = RepeatLength(data, position);
    if (repeat >= 2) {
      coded.push_back(static_cast<uint8_t>(kRepeatRunBit + repeat));
      coded.push_back(data[position]);
      position += repeat;
      continue;
    }
    // A literal run goes on until three equal bytes, which code shorter as a repeat.
    const size_t start = position;
    while (position < data.size() && position - start < kMaxRun &&
           RepeatLength(data, position) < 3) {
      ++position;
    }
    coded.push_back(static_cast<uint8_t>(position - start));
    coded.insert(coded.end(), data.begin() + start, data.begin() + position);
  }
  return coded;
}
