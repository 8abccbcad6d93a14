#include "xsvf/shown_text.h"

#include <cstdint>
#include <cstdio>

namespace {

// One character of a text: a UTF-8 sequence, or a byte that is not part of one.
struct Character {
  uint32_t code = 0;  // the code point, or the byte itself when not valid
  size_t length = 1;  // the bytes it takes
  bool valid = true;
};

// The character at text[at], as UTF-8 allows it (RFC 3629): no overlong forms,
// no surrogates, nothing above U+10FFFF; anything else is its first byte alone.
Character NextCharacter(std::string_view text, size_t at) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  const Character invalid{lead, 1, false};
  if (lead < 0x80) return {lead, 1, true};
  // The sequence's length and the smallest code point it may carry, by its lead
  // byte (0xC0, 0xC1 and 0xF5 on lead only overlong or too large ones).
  size_t length = 0;
  uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
  } else {
    return invalid;
  }
  uint32_t code = lead & (0x7Fu >> length);
  if (text.size() - at < length) return invalid;
  for (size_t i = 1; i < length; ++i) {
    const uint8_t next = static_cast<uint8_t>(text[at + i]);
    if ((next & 0xC0) != 0x80) return invalid;
    code = code << 6 | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return invalid;
  return {code, length, true};
}

// C0 and C1 controls and DEL: what terminals act on instead of printing.
bool IsControl(uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// Characters that print nothing but reorder or break the text around them, so
// that a name could make a line read otherwise than it is.
bool ReordersOrBreaks(uint32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069) || code == 0x2028 || code == 0x2029;
}

bool MustEscape(uint32_t code) {
  return IsControl(code) || ReordersOrBreaks(code);
}

std::string Escape(const char* format, uint32_t value) {
  // Room for "\\u" and the eight hex digits that any 32-bit value takes.
  char text[16];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
  return text;
}

void AppendUtf8(uint32_t code, std::string* text) {
  if (code < 0x80) {
    text->push_back(static_cast<char>(code));
  } else {
    // Only Latin-1 characters are written here, all below U+0800.
    text->push_back(static_cast<char>(0xC0 | code >> 6));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsContinuationByte(char c) {
  return (static_cast<uint8_t>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const Character c = NextCharacter(text, at);
    if (!c.valid || (c.code < 0x80 && MustEscape(c.code))) {
      shown += Escape("\\x%02x", c.code);
    } else if (MustEscape(c.code)) {
      shown += Escape("\\u%04x", c.code);
    } else {
      shown.append(text.substr(at, c.length));
    }
    at += c.length;
  }
  return shown;
}

std::string TerminalLines(std::string_view text) {
  std::string shown;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
    shown += TerminalText(text.substr(start, end - start)) + "\n";
    start = end + 1;
  }
  return shown + TerminalText(text.substr(start));
}

std::string JsonUtf8(std::string_view text) {
  std::string json;
  json.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const Character c = NextCharacter(text, at);
    if (c.valid) {
      json.append(text.substr(at, c.length));
    } else {
      AppendUtf8(c.code, &json);  // the Latin-1 character of the byte
    }
    at += c.length;
  }
  return json;
}

std::string WithJsonEscapes(std::string_view json) {
  std::string escaped;
  escaped.reserve(json.size());
  for (size_t at = 0; at < json.size();) {
    const Character c = NextCharacter(json, at);
    // C0 controls are the JSON writer's: escaped in strings, and outside them
    // the line ends and tabs of an indented document.
    if (c.valid && c.code >= 0x7F && MustEscape(c.code)) {
      escaped += Escape("\\u%04x", c.code);
    } else {
      escaped.append(json.substr(at, c.length));
    }
    at += c.length;
  }
  return escaped;
}

size_t TextColumns(std::string_view shown) {
  size_t columns = 0;
  for (const char c : shown) columns += IsContinuationByte(c) ? 0 : 1;
  return columns;
}

std::string FitColumns(std::string_view shown, size_t columns) {
  size_t taken = 0;
  size_t end = 0;
  for (; end < shown.size(); ++end) {
    if (IsContinuationByte(shown[end])) continue;
    if (taken == columns) break;
    ++taken;
  }
  return std::string(shown.substr(0, end));
}

std::string PadColumns(std::string_view shown, size_t columns) {
  const size_t used = TextColumns(shown);
  return std::string(shown) + std::string(used < columns ? columns - used : 0, ' ');
}
