// update-cli's settings file with any bytes in it: either it is refused with a
// message that names the file and the line, or every port and the wait it gives
// is a non-empty value without a line end, from one of its lines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/cli/cli_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CliDefaults defaults;
  std::string error;
  if (!ReadSettingsText(text, "bench", &defaults, &error)) {
    FuzzCheck(error.rfind("bench:", 0) == 0, "a refusal names the file and the line");
    FuzzCheck(error.find('\n') == std::string::npos, "a refusal is one line");
    return 0;
  }
  const auto wellFormed = [](const Setting& setting) {
    return !setting.value.empty() && setting.value.find('\n') == std::string::npos &&
           setting.source.rfind("bench:", 0) == 0;
  };
  for (const Setting& port : defaults.ports) FuzzCheck(wellFormed(port), "a port is one value");
  FuzzCheck(defaults.wait.value.empty() || wellFormed(defaults.wait), "the wait is one value");
  return 0;
}
