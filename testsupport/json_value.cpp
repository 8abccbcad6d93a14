#include "testsupport/json_value.h"

#include <cstdlib>
#include <cstring>

namespace {

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text(text) {}

  bool ReadDocument(JsonValue* value) {
    if (!ReadValue(value)) return false;
    SkipSpace();
    return position == text.size();
  }

 private:
  bool ReadValue(JsonValue* value) {
    SkipSpace();
    if (position >= text.size()) return false;
    switch (text[position]) {
      case '{':
        return ReadObject(value);
      case '[':
        return ReadArray(value);
      case '"':
        value->type = JsonValue::Type::String;
        return ReadString(&value->text);
      case 't':
        value->type = JsonValue::Type::Boolean;
        value->boolean = true;
        return Take("true");
      case 'f':
        value->type = JsonValue::Type::Boolean;
        return Take("false");
      case 'n':
        return Take("null");
      default:
        return ReadNumber(value);
    }
  }

  bool ReadObject(JsonValue* value) {
    value->type = JsonValue::Type::Object;
    ++position;
    if (Next('}')) return true;
    do {
      std::string name;
      SkipSpace();
      if (!ReadString(&name) || !Next(':') || !ReadValue(&value->members[name])) return false;
    } while (Next(','));
    return Next('}');
  }

  bool ReadArray(JsonValue* value) {
    value->type = JsonValue::Type::Array;
    ++position;
    if (Next(']')) return true;
    do {
      value->items.emplace_back();
      if (!ReadValue(&value->items.back())) return false;
    } while (Next(','));
    return Next(']');
  }

  bool ReadString(std::string* out) {
    if (position >= text.size() || text[position] != '"') return false;
    ++position;
    while (position < text.size()) {
      const unsigned char c = static_cast<unsigned char>(text[position++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c >= 0x80) {
        --position;
        if (!TakeUtf8(out)) return false;
      } else if (c != '\\') {
        out->push_back(static_cast<char>(c));
      } else if (!ReadEscape(out)) {
        return false;
      }
    }
    return false;
  }

  // One UTF-8 character, as RFC 3629 allows it: JSON text is UTF-8, so anything
  // else makes the document invalid.
  bool TakeUtf8(std::string* out) {
    const unsigned char lead = static_cast<unsigned char>(text[position]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || position + length > text.size()) return false;
    unsigned long code = lead & (0x7Fu >> length);
    for (size_t i = 1; i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[position + i]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    const unsigned long shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      return false;
    }
    out->append(text, position, length);
    position += length;
    return true;
  }

  bool ReadHex4(unsigned long* code) {
    if (position + 4 > text.size()) return false;
    char* end = nullptr;
    const std::string digits = text.substr(position, 4);
    *code = std::strtoul(digits.c_str(), &end, 16);
    if (*end != '\0' || digits[0] == '-' || digits[0] == '+') return false;
    position += 4;
    return true;
  }

  static void AppendUtf8(unsigned long code, std::string* out) {
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
      return;
    }
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out->push_back(static_cast<char>(leads[length] | code >> (6 * (length - 1))));
    for (int i = length - 2; i >= 0; --i) {
      out->push_back(static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F)));
    }
  }

  // JSON's escapes; \u with surrogate pairs, and a lone surrogate refused.
  bool ReadEscape(std::string* out) {
    if (position >= text.size()) return false;
    const char c = text[position++];
    const char* const simple = "\"\\/bfnrt";
    const char* const meaning = "\"\\/\b\f\n\r\t";
    if (const char* found = c != '\0' ? std::strchr(simple, c) : nullptr) {
      out->push_back(meaning[found - simple]);
      return true;
    }
    unsigned long code = 0;
    if (c != 'u' || !ReadHex4(&code) || (code >= 0xDC00 && code < 0xE000)) return false;
    if (code >= 0xD800 && code < 0xDC00) {
      unsigned long low = 0;
      if (!Take("\\u") || !ReadHex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(code, out);
    return true;
  }

  bool ReadNumber(JsonValue* value) {
    const char* start = text.c_str() + position;
    if (*start != '-' && (*start < '0' || *start > '9')) return false;
    char* end = nullptr;
    value->type = JsonValue::Type::Number;
    value->number = std::strtod(start, &end);
    position += static_cast<size_t>(end - start);
    return true;
  }

  bool Take(const char* word) {
    const size_t length = std::strlen(word);
    if (text.compare(position, length, word) != 0) return false;
    position += length;
    return true;
  }

  bool Next(char c) {
    SkipSpace();
    if (position >= text.size() || text[position] != c) return false;
    ++position;
    return true;
  }

  void SkipSpace() {
    while (position < text.size()) {
      const char c = text[position];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
      ++position;
    }
  }

  const std::string& text;
  size_t position = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  static const JsonValue kNull;
  const auto found = members.find(name);
  return found == members.end() ? kNull : found->second;
}

bool ParseJson(const std::string& text, JsonValue* value) {
  *value = JsonValue();
  return JsonReader(text).ReadDocument(value);
}
