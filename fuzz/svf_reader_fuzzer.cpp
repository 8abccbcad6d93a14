// The SVF reader and converter on any text. The conversion always ends: with a
// fault that says what is wrong and where, or with an XSVF program that the
// updater's own XSVF reader takes whole, up to XCOMPLETE and nothing after it.
// Whatever the text, the program stays within its bound: 16 bytes for each byte
// of SVF and 1 MiB more (scripts/fuzz gives it inputs long enough to hold scans
// too long for the player, whose vectors stay in the text).

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "svf/svf_converter.h"
#include "xsvf/xsvf_program.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SvfTextInput input(reinterpret_cast<const char*>(data), size);
  XsvfBytesOutput output;
  const SvfConversion conversion = ConvertSvf(input, output);
  FuzzCheck(output.Bytes().size() <= (size_t{1} << 20) + 16 * size,
            "the program stays within its bound");
  if (!conversion.ok) {
    FuzzCheck(!conversion.fault.message.empty(), "a failed conversion says why");
    FuzzCheck(conversion.fault.at.line >= 1 && conversion.fault.at.column >= 1,
              "a fault in the text has its place");
    return 0;
  }
  const std::vector<uint8_t>& program = output.Bytes();
  XsvfProgram parsed;
  std::string error;
  FuzzCheck(ParseXsvfProgram(program.data(), program.size(), &parsed, &error),
            "the program reads to XCOMPLETE");
  FuzzCheck(parsed.trailing.empty(), "nothing follows XCOMPLETE");
  return 0;
}
