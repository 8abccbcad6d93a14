// xsvfasm's reader, the XSVF text form, on any text. Assembling ends with a
// program or with "line N: problem" naming a line of the text; a program lists
// back to a text that assembles to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "xsvf/xsvf_text.h"

namespace {

// The line that a problem names: "line N: ...", N within the text.
bool NamesALineOfTheText(const std::string& error, const std::string& text) {
  unsigned long line = 0;
  int used = 0;
  if (std::sscanf(error.c_str(), "line %lu: %n", &line, &used) != 1 || used == 0) return false;
  size_t lines = 1;
  for (const char c : text) lines += c == '\n';
  return line >= 1 && line <= lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<uint8_t> program;
  std::string error;
  if (!AssembleXsvfText(text, &program, &error)) {
    FuzzCheck(NamesALineOfTheText(error, text), "a problem names its line");
    return 0;
  }
  std::vector<uint8_t> again;
  FuzzCheck(AssembleXsvfText(ListXsvfProgram(program), &again, &error),
            "a program's listing assembles");
  FuzzCheck(again == program, "the listing assembles back to the same bytes");
  return 0;
}
