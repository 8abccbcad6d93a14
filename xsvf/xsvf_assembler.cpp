// The assembler of the XSVF text form: text to program, line by line.

#include "xsvf/xsvf_text.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "xsvf/hex_digit.h"
#include "xsvf/tap_navigation.h"
#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_text_form.h"

namespace {

using upd::HexDigitValue;
using upd::kXsvfBytesDirective;
using upd::QuotedXsvfText;
using upd::XsvfOperandLayout;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool HasHexPrefix(const std::string& text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// A token as a message shows it: quoted, unprintable bytes escaped, and cut short
// when long (a binary file read as text makes long tokens).
std::string Shown(const std::string& token) {
  constexpr size_t kShownBytes = 40;
  const size_t count = std::min(token.size(), kShownBytes);
  return QuotedXsvfText(reinterpret_cast<const uint8_t*>(token.data()), count) +
         (token.size() > kShownBytes ? "..." : "");
}

struct Token {
  std::string text;
  bool quoted = false;
};

// How many bytes a vector operand has, and what sets it, for messages.
struct VectorSize {
  size_t bytes = 0;
  std::string what;  // e.g. "XSDRSIZE 8"
};

// What the player will know when it reaches a line: the data-register length
// (XSDRSIZE), the number of 1 bits in XSDRINC's data mask (XSETSDRMASKS), and
// whether XCOMPLETE has ended the program.
struct AssemblerState {
  VectorSize data{0, "no XSDRSIZE yet"};
  VectorSize dataPiece{0, "no XSETSDRMASKS yet"};
  bool completed = false;
};

// Decodes the escape at text[i] (just after a backslash) into *byte; advances i
// past it.
bool DecodeEscape(const std::string& text, size_t& i, uint8_t* byte, std::string* problem) {
  const char c = i < text.size() ? text[i++] : '\0';
  switch (c) {
    case '\\': *byte = '\\'; return true;
    case '"': *byte = '"'; return true;
    case 'n': *byte = '\n'; return true;
    case 'r': *byte = '\r'; return true;
    case 't': *byte = '\t'; return true;
    case 'x':
      if (i + 2 <= text.size() && HexDigitValue(text[i]) >= 0 && HexDigitValue(text[i + 1]) >= 0) {
        *byte = static_cast<uint8_t>(HexDigitValue(text[i]) * 16 + HexDigitValue(text[i + 1]));
        i += 2;
        return true;
      }
      *problem = "\\x needs two hex digits";
      return false;
    default:
      *problem = "unknown escape in text";
      return false;
  }
}

// Reads a quoted token starting at the quote at text[i]; advances i past it.
bool ReadQuoted(const std::string& text, size_t& i, Token* token, std::string* problem) {
  token->quoted = true;
  for (++i; i < text.size(); ) {
    const char c = text[i++];
    if (c == '"') return true;
    uint8_t byte = static_cast<uint8_t>(c);
    if (c == '\\' && !DecodeEscape(text, i, &byte, problem)) return false;
    token->text.push_back(static_cast<char>(byte));
  }
  *problem = "text without closing quote";
  return false;
}

// Splits a line into tokens, dropping the comment.
bool SplitLine(const std::string& line, std::vector<Token>* tokens, std::string* problem) {
  size_t i = 0;
  for (;;) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i == line.size() || line[i] == '#') return true;
    Token token;
    if (line[i] == '"') {
      if (!ReadQuoted(line, i, &token, problem)) return false;
    } else {
      while (i < line.size() && line[i] != '#' &&
             !std::isspace(static_cast<unsigned char>(line[i]))) {
        token.text.push_back(line[i++]);
      }
    }
    tokens->push_back(token);
  }
}

// A vector of any length, as .bytes takes it.
bool AppendRawVector(const Token& token, std::vector<uint8_t>& out, std::string* problem) {
  std::string digits = HasHexPrefix(token.text) ? token.text.substr(2) : token.text;
  const bool allHex = std::all_of(digits.begin(), digits.end(),
                                  [](char c) { return HexDigitValue(c) >= 0; });
  if (token.quoted || !allHex) {
    *problem = Shown(token.text) + " is not a hex vector";
    return false;
  }
  if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
  for (size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1])));
  }
  return true;
}

// A vector of a command, which the player reads as exactly `bytes` bytes: a
// shorter one is padded with zeros in front (its value stays), a longer one would
// make the player read on into the next command, and is refused. A size beyond
// the player's limit is not held to: such a program does not play anyway, and
// the warning of xsvfasm says so.
bool AppendSizedVector(const Token& token, const VectorSize& size, std::vector<uint8_t>& out,
                       std::string* problem) {
  std::vector<uint8_t> bytes;
  if (!AppendRawVector(token, bytes, problem)) return false;
  if (size.bytes > static_cast<size_t>(MAX_LEN)) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
  }
  if (bytes.size() > size.bytes) {
    *problem = "vector " + Shown(token.text) + " is longer than its size, " + size.what + " (" +
               std::to_string(size.bytes) + (size.bytes == 1 ? " byte)" : " bytes)");
    return false;
  }
  out.insert(out.end(), size.bytes - bytes.size(), 0);
  out.insert(out.end(), bytes.begin(), bytes.end());
  return true;
}

// A decimal number, or hex with 0x, of at most maxValue.
bool ParseNumber(const Token& token, uint64_t maxValue, uint64_t* value, std::string* problem) {
  const bool hex = HasHexPrefix(token.text);
  const std::string digits = hex ? token.text.substr(2) : token.text;
  const uint64_t base = hex ? 16 : 10;
  *value = 0;
  bool valid = !token.quoted && !digits.empty();
  for (size_t i = 0; valid && i < digits.size(); ++i) {
    const int digit = HexDigitValue(digits[i]);
    valid = digit >= 0 && static_cast<uint64_t>(digit) < base;
    *value = *value * base + static_cast<uint64_t>(digit);
    valid = valid && *value <= maxValue;
  }
  if (!valid) *problem = Shown(token.text) + " is not a number from 0 to " + std::to_string(maxValue);
  return valid;
}

void AppendBigEndian(uint64_t value, size_t bytes, std::vector<uint8_t>& out) {
  for (size_t i = bytes; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool AppendNumber(const Token& token, size_t bytes, std::vector<uint8_t>& out,
                  std::string* problem) {
  uint64_t value = 0;
  if (!ParseNumber(token, (uint64_t{1} << (8 * bytes)) - 1, &value, problem)) return false;
  AppendBigEndian(value, bytes, out);
  return true;
}

bool AppendState(const Token& token, std::vector<uint8_t>& out, std::string* problem) {
  for (int state = 0; state < kTapStateCount; ++state) {
    if (!token.quoted && Upper(token.text) == TapStateName(state)) {
      out.push_back(static_cast<uint8_t>(state));
      return true;
    }
  }
  if (AppendNumber(token, 1, out, problem)) return true;
  *problem = Shown(token.text) + " is not a TAP state";
  return false;
}

bool AppendText(const Token& token, std::vector<uint8_t>& out, std::string* problem) {
  if (!token.quoted || token.text.find('\0') != std::string::npos) {
    *problem = "comment text must be quoted and hold no 0 byte";
    return false;
  }
  out.insert(out.end(), token.text.begin(), token.text.end());
  out.push_back(0);
  return true;
}

bool AppendPieces(const Token* first, size_t count, const VectorSize& size,
                  std::vector<uint8_t>& out, std::string* problem) {
  if (count > 255) {
    *problem = "more than 255 data pieces";
    return false;
  }
  out.push_back(static_cast<uint8_t>(count));
  for (size_t i = 0; i < count; ++i) {
    if (!AppendSizedVector(first[i], size, out, problem)) return false;
  }
  return true;
}

// The size of the vector operand that follows a bit count (XSIR, XSIR2).
VectorSize InstructionSize(const std::string& command, uint64_t bits) {
  return {static_cast<size_t>((bits + 7) / 8), command + " " + std::to_string(bits) + " bits"};
}

// Appends the operands in `tokens` (after the command name) by the layout, each
// vector at the size the player will read it at.
bool AppendOperands(const char* layout, const std::vector<Token>& tokens,
                    const AssemblerState& state, std::vector<uint8_t>& out,
                    std::string* problem) {
  size_t next = 1;
  VectorSize vectorSize = state.data;
  for (const char* kind = layout; *kind != '\0'; ++kind) {
    if (*kind == 'p') {
      return AppendPieces(tokens.data() + next, tokens.size() - next, state.dataPiece, out,
                          problem);
    }
    if (next == tokens.size()) {
      *problem = "too few operands";
      return false;
    }
    const Token& token = tokens[next++];
    bool appended = false;
    if (*kind == 'v') {
      appended = AppendSizedVector(token, vectorSize, out, problem);
    } else if (*kind == 's') {
      appended = AppendState(token, out, problem);
    } else if (*kind == 't') {
      appended = AppendText(token, out, problem);
    } else {
      const size_t bytes = static_cast<size_t>(*kind - '0');
      appended = AppendNumber(token, bytes, out, problem);
      // XSIR's and XSIR2's bit count sizes the vector after it.
      if (appended) vectorSize = InstructionSize(Upper(tokens[0].text),
                                                 BigEndianValue(&*(out.end() - bytes), bytes));
    }
    if (!appended) return false;
  }
  if (next != tokens.size()) {
    *problem = "too many operands";
    return false;
  }
  return true;
}

// What a command that was just assembled (starting at out[start]) tells the
// player about the commands after it.
void TakeSizes(int code, const std::vector<uint8_t>& out, size_t start, AssemblerState* state) {
  const uint8_t* operands = out.data() + start + 1;
  if (code == XSDRSIZE) {
    const uint32_t bits = BigEndianValue(operands, 4);
    state->data = {static_cast<size_t>((uint64_t{bits} + 7) / 8),
                   "XSDRSIZE " + std::to_string(bits)};
  } else if (code == XSETSDRMASKS && state->data.bytes <= static_cast<size_t>(MAX_LEN)) {
    const int32_t bits = CountOneBits(operands + state->data.bytes, state->data.bytes);
    state->dataPiece = {static_cast<size_t>(BytesForBits(bits)),
                        "the " + std::to_string(bits) + " bits of the XSETSDRMASKS data mask"};
  } else if (code == XCOMPLETE) {
    state->completed = true;
  }
}

bool AssembleLine(const std::vector<Token>& tokens, AssemblerState* state,
                  std::vector<uint8_t>& out, std::string* problem) {
  const std::string name = Upper(tokens[0].text);
  if (name == Upper(kXsvfBytesDirective)) {
    for (size_t i = 1; i < tokens.size(); ++i) {
      if (!AppendRawVector(tokens[i], out, problem)) return false;
    }
    return true;
  }
  for (int code = 0; code < kXsvfCommandCount; ++code) {
    if (!tokens[0].quoted && name == Upper(XsvfCommandName(code))) {
      // The player stops at XCOMPLETE: what follows is never played.
      if (state->completed) {
        *problem = std::string(XsvfCommandName(code)) +
                   " after XCOMPLETE would never be played (bytes after the end go in .bytes)";
        return false;
      }
      const size_t start = out.size();
      out.push_back(static_cast<uint8_t>(code));
      if (!AppendOperands(XsvfOperandLayout(code), tokens, *state, out, problem)) return false;
      TakeSizes(code, out, start, state);
      return true;
    }
  }
  *problem = "unknown command " + Shown(tokens[0].text);
  return false;
}

}  // namespace

bool AssembleXsvfText(const std::string& text, std::vector<uint8_t>* program,
                      std::string* error) {
  program->clear();
  std::istringstream lines(text);
  std::string line;
  AssemblerState state;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::vector<Token> tokens;
    std::string problem;
    if (!SplitLine(line, &tokens, &problem) ||
        (!tokens.empty() && !AssembleLine(tokens, &state, *program, &problem))) {
      if (error) *error = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
  }
  return true;
}
