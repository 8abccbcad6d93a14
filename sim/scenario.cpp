#include "sim/scenario.h"

#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "sim/chip_catalog.h"
#include "sim/fault_plan.h"

namespace {

using Words = std::vector<std::string>;

template <typename Enum>
struct Named {
  const char* name;
  Enum value;
};

constexpr Named<FaultKind> kKinds[] = {
    {"noise", FaultKind::Noise},           {"repeat", FaultKind::Repeat},
    {"reply", FaultKind::BadReply},        {"busy", FaultKind::Busy},
    {"silence", FaultKind::Silence},       {"disconnect", FaultKind::Disconnect},
    {"end", FaultKind::EarlyEnd},          {"mismatch", FaultKind::Mismatch},
    {"stuck", FaultKind::Stuck},           {"flood", FaultKind::Flood},
    {"deaf", FaultKind::Deaf},             {"refuse", FaultKind::Refuse},
};

constexpr Named<FaultPoint> kPoints[] = {
    {"wake", FaultPoint::Wake},    {"start", FaultPoint::Start}, {"query", FaultPoint::Query},
    {"select", FaultPoint::Selection}, {"block", FaultPoint::Block}, {"frame", FaultPoint::Frame},
    {"levels", FaultPoint::Levels}, {"wait", FaultPoint::Wait},
    {"byte", FaultPoint::Byte},    {"shift", FaultPoint::Shift},
};

template <typename Enum, size_t N>
bool Lookup(const Named<Enum> (&table)[N], const std::string& word, Enum* value) {
  for (const auto& entry : table) {
    if (word == entry.name) {
      *value = entry.value;
      return true;
    }
  }
  return false;
}

// A whole word as an unsigned number of the given base, at most `max`.
bool ParseNumber(const std::string& word, int base, unsigned long max, unsigned long* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  *value = std::strtoul(word.c_str(), &end, base);
  return *end == '\0' && *value <= max && word[0] != '-' && word[0] != '+';
}

bool ParseByte(const std::string& word, uint8_t* byte) {
  unsigned long value = 0;
  if (!ParseNumber(word, 16, 0xFF, &value)) return false;
  *byte = static_cast<uint8_t>(value);
  return true;
}

bool ParseCount(const std::string& word, uint32_t* count) {
  unsigned long value = 0;
  if (!ParseNumber(word, 10, 0xFFFFFFFFul, &value)) return false;
  *count = static_cast<uint32_t>(value);
  return true;
}

Words Split(const std::string& text, char separator, size_t maxWords) {
  Words words;
  size_t start = 0;
  while (words.size() + 1 < maxWords) {
    const size_t end = text.find(separator, start);
    if (end == std::string::npos) break;
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  words.push_back(text.substr(start));
  return words;
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

bool ApplyFirmwareAnswers(const Words& answers, SimTarget& target, std::string* error) {
  if (answers.empty()) return true;
  target.queryAnswers.clear();
  if (answers.size() == 1 && answers[0] == "silent") return true;
  for (const std::string& word : answers) {
    uint32_t answer = 0;
    if (!ParseCount(word, &answer) || answer > 0xFF) {
      return Fail(error, "query answer must be 0 to 255 or \"silent\": " + word);
    }
    target.queryAnswers.push_back(static_cast<uint8_t>(answer));
  }
  return true;
}

// Words after "target": ID KIND [...].
bool ApplyTarget(const Words& words, DeviceConfig& config, std::string* error) {
  if (words.size() < 2) return Fail(error, "target needs an id and a kind");
  SimTarget target;
  if (!ParseByte(words[0], &target.id) || target.id == 0) {
    return Fail(error, "target id must be hex 01 to FF: " + words[0]);
  }
  const Words rest(words.begin() + 2, words.end());
  if (words[1] == "firmware") {
    if (!ApplyFirmwareAnswers(rest, target, error)) return false;
  } else if (words[1] == "jtag") {
    if (rest.size() > 1) return Fail(error, "a JTAG target takes one chip");
    target.jtag = true;
    target.makeChip = ChipFactoryFor(rest.empty() ? "demo" : rest[0], error);
    if (!target.makeChip) return false;
  } else {
    return Fail(error, "target kind must be firmware or jtag: " + words[1]);
  }
  for (const SimTarget& known : config.targets) {
    if (known.id == target.id) {
      return Fail(error, "target id " + words[0] +
                             " is given twice: each target needs an id of its own");
    }
  }
  config.targets.push_back(std::move(target));
  return true;
}

// Optional words after KIND POINT N: xK and 0xHH, in any order.
bool ApplyFaultExtras(const Words& extras, Fault& fault, std::string* error) {
  for (const std::string& word : extras) {
    const bool isCount = word.size() > 1 && word[0] == 'x';
    const bool isByte = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    if (isCount && ParseCount(word.substr(1), &fault.count) && fault.count > 0) continue;
    if (isByte && ParseByte(word.substr(2), &fault.byte)) continue;
    return Fail(error, "expected xK (K from 1) or 0xHH: " + word);
  }
  return true;
}

// Words after "fault": KIND POINT N [xK] [0xHH].
bool ApplyFault(const Words& words, DeviceConfig& config, std::string* error) {
  if (words.size() < 3) return Fail(error, "fault needs a kind, a point and N");
  Fault fault;
  if (!Lookup(kKinds, words[0], &fault.kind)) return Fail(error, "unknown fault: " + words[0]);
  if (!Lookup(kPoints, words[1], &fault.point)) {
    return Fail(error, "unknown fault point: " + words[1]);
  }
  if (!FaultFits(fault.kind, fault.point)) {
    return Fail(error, "fault " + words[0] + " cannot strike at " + words[1]);
  }
  if (!ParseCount(words[2], &fault.index) || fault.index == 0) {
    return Fail(error, "N must be a number from 1: " + words[2]);
  }
  if (!ApplyFaultExtras(Words(words.begin() + 3, words.end()), fault, error)) return false;
  config.faults.push_back(fault);
  return true;
}

bool ApplySwitchOn(const Words& words, DeviceConfig& config, std::string* error) {
  if (words.size() != 1 || !ParseCount(words[0], &config.switchOnDelayMs)) {
    return Fail(error, "switch-on needs a time in ms");
  }
  return true;
}

}  // namespace

bool ApplyScenarioLine(const std::string& line, DeviceConfig& config, std::string* error) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty() || words[0][0] == '#') return true;
  const Words rest(words.begin() + 1, words.end());
  if (words[0] == "switch-on") return ApplySwitchOn(rest, config, error);
  if (words[0] == "target") return ApplyTarget(rest, config, error);
  if (words[0] == "fault") return ApplyFault(rest, config, error);
  return Fail(error, "unknown setting: " + words[0]);
}

bool ReadScenario(std::istream& in, DeviceConfig& config, std::string* error) {
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!ApplyScenarioLine(line, config, error)) {
      *error = "line " + std::to_string(number) + ": " + *error;
      return false;
    }
  }
  return true;
}

bool ApplyTargetOption(const std::string& text, DeviceConfig& config, std::string* error) {
  // A chip name may hold colons itself (script:FILE), so a JTAG target's third
  // word is the whole rest.
  Words words = Split(text, ':', 3);
  if (words.size() == 3 && words[1] == "firmware") {
    Words answers = Split(words[2], ':', SIZE_MAX);
    words.pop_back();
    words.insert(words.end(), answers.begin(), answers.end());
  }
  return ApplyTarget(words, config, error);
}

bool ApplyFaultOption(const std::string& text, DeviceConfig& config, std::string* error) {
  return ApplyFault(Split(text, ':', SIZE_MAX), config, error);
}
