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
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
      } else if (!ReadEscape(out)) {
        return false;
      }
    }
    return false;
  }

  // The escapes update-cli writes; \u only below 0x80, which is all it needs.
  bool ReadEscape(std::string* out) {
    if (position >= text.size()) return false;
    const char c = text[position++];
    const char* const simple = "\"\\/bfnrt";
    const char* const meaning = "\"\\/\b\f\n\r\t";
    if (const char* found = c != '\0' ? std::strchr(simple, c) : nullptr) {
      out->push_back(meaning[found - simple]);
      return true;
    }
    if (c != 'u' || position + 4 > text.size()) return false;
    char* end = nullptr;
    const std::string digits = text.substr(position, 4);
    const long code = std::strtol(digits.c_str(), &end, 16);
    if (*end != '\0' || code >= 0x80) return false;
    out->push_back(static_cast<char>(code));
    position += 4;
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
