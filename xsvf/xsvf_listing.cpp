// The listing of an XSVF program in the text form: one command per line, and
// the bytes that cannot be listed as commands as raw bytes.

#include "xsvf/xsvf_text.h"

#include <algorithm>
#include <cstdio>

#include "xsvf/tap_navigation.h"
#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_program.h"
#include "xsvf/xsvf_text_form.h"

namespace {

using upd::kXsvfBytesDirective;
using upd::QuotedXsvfText;
using upd::XsvfOperandLayout;

constexpr size_t kBytesPerLine = 32;

std::string HexVector(const uint8_t* bytes, size_t count) {
  std::string text = "0x";
  char pair[3];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::string StateText(uint8_t state) {
  return state < kTapStateCount ? TapStateName(state) : std::to_string(state);
}

std::string ListCommand(const XsvfInstruction& command) {
  std::string line = XsvfCommandName(command.code);
  const uint8_t* field = command.operands.data();
  size_t index = 0;
  auto nextField = [&](size_t* size) {
    const uint8_t* start = field;
    *size = command.fieldSizes[index++];
    field += *size;
    return start;
  };
  size_t size = 0;
  for (const char* kind = XsvfOperandLayout(command.code); *kind != '\0'; ++kind) {
    const uint8_t* bytes = nextField(&size);
    switch (*kind) {
      case 'v': line += " " + HexVector(bytes, size); break;
      case 's': line += " " + StateText(bytes[0]); break;
      case 't': line += " " + QuotedXsvfText(bytes, size - 1); break;
      case 'p':
        while (index < command.fieldSizes.size()) {
          bytes = nextField(&size);
          line += " " + HexVector(bytes, size);
        }
        break;
      default: line += " " + std::to_string(BigEndianValue(bytes, size)); break;
    }
  }
  return line;
}

// Lists bytes as .bytes lines; the first line carries `firstComment`.
void ListBytes(const std::vector<uint8_t>& bytes, const std::string& firstComment,
               std::string& text) {
  for (size_t start = 0; start < bytes.size(); start += kBytesPerLine) {
    const size_t count = std::min(kBytesPerLine, bytes.size() - start);
    text += std::string(kXsvfBytesDirective) + " " + HexVector(bytes.data() + start, count);
    if (start == 0) text += firstComment;
    text += "\n";
  }
}

}  // namespace

std::string ListXsvfProgram(const std::vector<uint8_t>& program) {
  XsvfProgram parsed;
  std::string error;
  const bool complete = ParseXsvfProgram(program.data(), program.size(), &parsed, &error);
  std::string text;
  for (const XsvfInstruction& command : parsed.commands) text += ListCommand(command) + "\n";
  if (complete) {
    if (!parsed.trailing.empty()) text += "# after XCOMPLETE, never played:\n";
    ListBytes(parsed.trailing, "", text);
  } else if (parsed.trailing.empty()) {
    text += "# " + error + "\n";
  } else {
    ListBytes(parsed.trailing, "  # " + error, text);
  }
  return text;
}
