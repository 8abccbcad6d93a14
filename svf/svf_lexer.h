#pragma once
// SVF text cut into tokens, read forward a block at a time: words, '(', ')' and
// ';', each with the line and column where it starts (both counted from 1, a tab
// counting as one column). A UTF-8 byte order mark at the start is skipped. White
// space and comments, from '!' or '//' to the end of the line, separate tokens; a
// statement may span any number of lines.
//
// A vector's digits are not words: once a statement has read a '(', ReadVector
// takes the digits up to the ')'. They may be split by white space (line breaks
// included) and run to any length. What the lexer keeps of them depends on the
// scan's length (svf/svf_vector.h): the value itself for a scan the player holds
// in one piece, only where the digits stand for a longer one.

#include <cstdint>
#include <string>
#include <vector>

#include "svf/svf_input.h"
#include "svf/svf_vector.h"

struct SvfPosition {
  uint64_t line = 0;  // 0: not a place in the text (the file as a whole)
  uint64_t column = 0;
};

// What is wrong with the SVF (or worth knowing about it), and where.
struct SvfMessage {
  SvfPosition at;
  std::string message;

  // "FILE:LINE:COLUMN: message", or "FILE: message" without a place.
  std::string Describe(const std::string& fileName) const;
};

struct SvfToken {
  enum class Kind { Word, Open, Close, End, EndOfText };
  Kind kind = Kind::EndOfText;
  std::string text;  // words only
  SvfPosition at;
};

// The longest word taken: far beyond any keyword, state or number.
constexpr size_t kMaxWordLength = 256;

// A token as messages quote it: the word in quotes (with unprintable characters
// as \xNN), or the punctuation, or "the end of the file".
std::string DescribeToken(const SvfToken& token);

class SvfLexer {
 public:
  explicit SvfLexer(SvfInput& input);

  // The next token. False with Fault() set when the text cannot be read or a word
  // is longer than kMaxWordLength.
  bool Next(SvfToken* token);

  // Reads the digits of the vector called `name` (TDI, TDO, MASK or SMASK) and
  // its closing ')', after its '(' (at `open`) has been taken. `bits` is the
  // scan's length: no 1 bit may lie at or above it, and a vector of a scan longer
  // than kPlayerVectorBits must give every digit (leading zeros included), so that
  // what the scan shifts is always written out in the text. False with Fault().
  bool ReadVector(const std::string& name, SvfPosition open, uint64_t bits, SvfVector* vector);

  const SvfMessage& Fault() const { return fault; }
  // How far into the text the lexer has read: the offset of its next character.
  uint64_t Offset() const { return blockOffset + index; }

 private:
  // The character at the read position, or -1 at the end of the text (or when
  // it cannot be read: then `fault` is set).
  int Peek();
  void Advance();
  bool Fill();
  void SkipByteOrderMark();
  SvfPosition Here() const;
  // Whether "//" (a comment) starts at the read position.
  bool AtDoubleSlash();
  void SkipSpaceAndComments();
  bool ReadWord(SvfToken* token);
  bool Fail(SvfPosition at, std::string message);

  SvfInput& input;
  std::vector<char> block;
  uint64_t blockOffset = 0;
  size_t index = 0;
  bool ended = false;  // the input has no more bytes
  uint64_t line = 1;
  uint64_t lineStart = 0;  // offset of the current line's first character
  SvfMessage fault;
};
