#include "tools/cli/json_text.h"

#include "xsvf/shown_text.h"

namespace {

// Makes every string of the value valid UTF-8, which the JSON writer requires.
// Field names are the program's own and need nothing.
void MakeStringsUtf8(Json* value) {
  if (value->is_string()) {
    *value = JsonUtf8(value->get_ref<const std::string&>());
    return;
  }
  if (value->is_structured()) {
    for (Json& item : *value) MakeStringsUtf8(&item);
  }
}

}  // namespace

std::string JsonText(Json value) {
  MakeStringsUtf8(&value);
  return WithJsonEscapes(value.dump());
}

std::string JsonTargetName(const std::string& name) {
  const size_t first = name.find_first_not_of(" \t");
  return first == std::string::npos ? "" : name.substr(first);
}
