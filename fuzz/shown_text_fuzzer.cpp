// How outside text is shown (xsvf/shown_text.h, and in JSON tools/cli/json_text.h)
// on any bytes: a name, comment or path as a file or device may hold it.
//
// Besides crashes and undefined behaviour it reports terminal text that holds a
// control byte, a C1 control or a byte that is not valid UTF-8; terminal lines
// that gain or lose a line end; JSON that a strict reader refuses or that does
// not give back ASCII text exactly; and a fitted text that is not a prefix of
// whole characters.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_support.h"
#include "tools/cli/json_text.h"
#include "xsvf/shown_text.h"

namespace {

// Whether text is UTF-8 with nothing that a terminal acts on: no C0 control but
// the allowed line end, no DEL, no C1 control. Written apart from the code under
// test, by the byte patterns of UTF-8.
bool SafeForTerminal(const std::string& text, bool lineEnds) {
  for (size_t i = 0; i < text.size();) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      if ((lead < 0x20 && !(lineEnds && lead == '\n')) || lead == 0x7F) return false;
      ++i;
      continue;
    }
    size_t length = 0;
    if ((lead & 0xE0) == 0xC0) length = 2;
    else if ((lead & 0xF0) == 0xE0) length = 3;
    else if ((lead & 0xF8) == 0xF0) length = 4;
    if (length == 0 || lead == 0xC0 || lead == 0xC1 || lead > 0xF4) return false;
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    if (lead == 0xC2 && static_cast<uint8_t>(text[i + 1]) < 0xA0) return false;  // C1
    i += length;
  }
  return true;
}

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::string shown = TerminalText(text);
  FuzzCheck(SafeForTerminal(shown, false), "terminal text holds nothing a terminal acts on");
  const std::string lines = TerminalLines(text);
  FuzzCheck(SafeForTerminal(lines, true), "terminal lines hold nothing but their line ends");
  FuzzCheck(std::count(lines.begin(), lines.end(), '\n') == std::count(text.begin(), text.end(), '\n'),
            "terminal lines keep every line end and add none");

  // A strict reader: it refuses a document that is not valid UTF-8.
  const nlohmann::json value = nlohmann::json::parse(JsonText(Json(text)), nullptr, false);
  FuzzCheck(value.is_string(), "a JSON string is valid JSON and valid UTF-8");
  FuzzCheck(!IsAscii(text) || value == text, "JSON gives ASCII text back exactly");

  const size_t columns = size > 0 ? data[0] % 64 : 0;
  const std::string fitted = FitColumns(shown, columns);
  FuzzCheck(shown.compare(0, fitted.size(), fitted) == 0 && SafeForTerminal(fitted, false) &&
                TextColumns(fitted) == std::min(columns, TextColumns(shown)),
            "a fitted text is a prefix of whole characters, as wide as it may be");
  return 0;
}
