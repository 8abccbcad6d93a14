#include "svf/svf_lexer.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kBlockBytes = 64 * 1024;

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters that end a word (besides white space and the start of a comment).
bool IsPunctuation(int c) { return c == '(' || c == ')' || c == ';' || c == '!'; }

// A word of the file as a message quotes it. SVF is ASCII: every other byte shows
// as its hex escape, even where it is part of valid UTF-8 (an invisible byte order
// mark in the middle of a file then shows as \xef\xbb\xbf), unlike the names and
// comments that the other messages show as the text they are.
std::string Printable(const std::string& text) {
  std::string printable;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      printable += c;
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      printable += escape;
    }
  }
  return printable;
}

unsigned BitLength(unsigned value) {
  unsigned length = 0;
  for (; value != 0; value >>= 1) ++length;
  return length;
}

// A vector's value from its significant digits (most significant first), least
// significant byte first, in `bytes` bytes.
std::vector<uint8_t> ValueBytes(const std::vector<uint8_t>& digits, uint64_t bytes) {
  std::vector<uint8_t> value(static_cast<size_t>(bytes));
  for (size_t k = 0; k < digits.size() && k / 2 < value.size(); ++k) {
    value[k / 2] |= static_cast<uint8_t>(digits[digits.size() - 1 - k] << (4 * (k % 2)));
  }
  return value;
}

}  // namespace

std::string SvfMessage::Describe(const std::string& fileName) const {
  if (at.line == 0) return fileName + ": " + message;
  return fileName + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
         message;
}

std::string DescribeToken(const SvfToken& token) {
  switch (token.kind) {
    case SvfToken::Kind::Word: return "'" + Printable(token.text) + "'";
    case SvfToken::Kind::Open: return "'('";
    case SvfToken::Kind::Close: return "')'";
    case SvfToken::Kind::End: return "';'";
    case SvfToken::Kind::EndOfText: break;
  }
  return "the end of the file";
}

SvfLexer::SvfLexer(SvfInput& input) : input(input) {}

bool SvfLexer::Fill() {
  if (ended) return false;
  blockOffset += block.size();
  index = 0;
  block.resize(kBlockBytes);
  const int64_t got = input.ReadAt(blockOffset, block.data(), block.size());
  block.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (got < 0) Fail(SvfPosition(), "cannot be read");
  ended = got <= 0;
  SkipByteOrderMark();
  return !ended;
}

// Editors on Windows begin a UTF-8 text with EF BB BF; it is no part of the SVF,
// and the first line's columns count from after it.
void SvfLexer::SkipByteOrderMark() {
  static constexpr char kMark[] = "\xEF\xBB\xBF";
  if (blockOffset != 0 || block.size() < 3 || std::memcmp(block.data(), kMark, 3) != 0) return;
  index = 3;
  lineStart = 3;
}

int SvfLexer::Peek() {
  if (index == block.size() && !Fill()) return -1;
  return static_cast<unsigned char>(block[index]);
}

void SvfLexer::Advance() {
  if (block[index] == '\n') {
    ++line;
    lineStart = Offset() + 1;
  }
  ++index;
}

bool SvfLexer::AtDoubleSlash() {
  if (Peek() != '/') return false;
  if (index + 1 < block.size()) return block[index + 1] == '/';
  // The next character is in the next block: look at it there.
  char next = 0;
  return input.ReadAt(Offset() + 1, &next, 1) == 1 && next == '/';
}

SvfPosition SvfLexer::Here() const { return {line, Offset() - lineStart + 1}; }

bool SvfLexer::Fail(SvfPosition at, std::string message) {
  fault.at = at;
  fault.message = std::move(message);
  return false;
}

void SvfLexer::SkipSpaceAndComments() {
  for (int c = Peek(); c >= 0; c = Peek()) {
    if (IsSpace(c)) {
      Advance();
      continue;
    }
    // '!' or "//" starts a comment; a lone '/' is part of a word.
    if (c != '!' && !AtDoubleSlash()) return;
    while ((c = Peek()) >= 0 && c != '\n') Advance();
  }
}

bool SvfLexer::Next(SvfToken* token) {
  SkipSpaceAndComments();
  token->at = Here();
  token->text.clear();
  const int c = Peek();
  if (!fault.message.empty()) return false;
  if (c < 0) {
    token->kind = SvfToken::Kind::EndOfText;
    return true;
  }
  if (c == '(' || c == ')' || c == ';') {
    token->kind = c == '(' ? SvfToken::Kind::Open
                  : c == ')' ? SvfToken::Kind::Close
                             : SvfToken::Kind::End;
    Advance();
    return true;
  }
  return ReadWord(token);
}

bool SvfLexer::ReadWord(SvfToken* token) {
  token->kind = SvfToken::Kind::Word;
  for (int c = Peek(); c >= 0 && !IsSpace(c) && !IsPunctuation(c); c = Peek()) {
    if (AtDoubleSlash()) break;
    if (token->text.size() == kMaxWordLength) {
      return Fail(token->at, "a word longer than " + std::to_string(kMaxWordLength) +
                                 " characters");
    }
    token->text += static_cast<char>(c);
    Advance();
  }
  return fault.message.empty();
}

bool SvfLexer::ReadVector(const std::string& name, SvfPosition open, uint64_t bits,
                          SvfVector* vector) {
  const bool hold = bits <= kPlayerVectorBits;
  const uint64_t neededDigits = (bits + 3) / 4;
  const uint64_t textBegin = Offset();
  uint64_t digits = 0;
  uint64_t significant = 0;  // digits from the first nonzero one on
  int firstValue = 0;
  SvfPosition firstAt;
  std::vector<uint8_t> kept;  // held: the significant digits, up to one too many
  // The digits are most of a large file: this loop looks at them in place.
  for (bool closed = false; !closed;) {
    if (index == block.size() && !Fill()) {
      if (!fault.message.empty()) return false;
      return Fail(open, "the file ends inside the vector of " + name);
    }
    const char* const start = block.data();
    const char* p = start + index;
    const char* const end = start + block.size();
    for (; p < end; ++p) {
      const unsigned char c = static_cast<unsigned char>(*p);
      const int value = SvfHexDigit(c);
      if (value >= 0) {
        ++digits;
        if (significant == 0 && value == 0) continue;
        if (significant++ == 0) {
          firstValue = value;
          firstAt = {line, blockOffset + static_cast<uint64_t>(p - start) - lineStart + 1};
        }
        if (hold && kept.size() <= neededDigits) kept.push_back(static_cast<uint8_t>(value));
      } else if (c == '\n') {
        ++line;
        lineStart = blockOffset + static_cast<uint64_t>(p - start) + 1;
      } else if (!IsSpace(c)) {
        index = static_cast<size_t>(p - start);
        if (c != ')') {
          const std::string shown = Printable(std::string(1, static_cast<char>(c)));
          return Fail(Here(), name + " holds '" + shown + "', which is not a hex digit");
        }
        closed = true;
        break;
      }
    }
    if (!closed) index = block.size();
  }
  const uint64_t textEnd = Offset();
  Advance();  // the ')'

  if (significant > 0) {
    const uint64_t topBit = 4 * (significant - 1) + BitLength(static_cast<unsigned>(firstValue)) - 1;
    if (topBit >= bits) {
      return Fail(firstAt, name + " sets bit " + std::to_string(topBit) + ", beyond the " +
                               std::to_string(bits) + " bits of the scan");
    }
  }
  if (!hold && digits < neededDigits) {
    return Fail(open, name + " gives " + std::to_string(digits) + " of the " +
                          std::to_string(neededDigits) + " hex digits of its " +
                          std::to_string(bits) +
                          "-bit scan: a scan this long must be written out in full");
  }
  if (hold) {
    vector->kind = SvfVector::Kind::Held;
    vector->held = ValueBytes(kept, (bits + 7) / 8);
  } else {
    vector->kind = SvfVector::Kind::InText;
    vector->held.clear();
    vector->textBegin = textBegin;
    vector->textEnd = textEnd;
  }
  return true;
}
