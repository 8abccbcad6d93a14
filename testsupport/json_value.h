#pragma once
// A small JSON reader for the tests that read update-cli's JSON lines. It takes
// objects, arrays, strings with their escapes, numbers, true, false and null;
// numbers are read with strtod, which also takes a few forms JSON does not.
// Strings must be valid UTF-8, as JSON text is: a document with a byte that is
// not is refused. Their text is UTF-8, \u escapes included.

#include <map>
#include <string>
#include <vector>

struct JsonValue {
  enum class Type { Null, Boolean, Number, String, Array, Object };

  Type type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // The member of this name; a null value if there is none.
  const JsonValue& operator[](const std::string& name) const;
  int Int() const { return static_cast<int>(number); }
};

// Parses one JSON text (surrounding white space allowed). False if it is not JSON.
bool ParseJson(const std::string& text, JsonValue* value);
