// svf2xsvf: converts an SVF program, as every programmable-logic vendor's tool
// writes them, into an XSVF program for the updater's player (svf/svf_converter.h
// says what each statement becomes and what is refused).
//
//   svf2xsvf IN.svf OUT.xsvf      writes the program, as it converts
//   svf2xsvf --listing IN.svf     lists it in xsvfdump's text form instead
//
// A fault is reported as "IN.svf:LINE:COLUMN: message", the first one only, and
// leaves no OUT.xsvf behind; notes on what XSVF does otherwise than the SVF asks
// follow the same form. The listing holds the program in memory to list it.

#include <cstdio>
#include <cstring>
#include <string>

#include "svf/svf_converter.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kUsage =
    "usage: svf2xsvf IN.svf OUT.xsvf\n"
    "       svf2xsvf --listing IN.svf\n"
    "Converts an SVF program into an XSVF program for the updater's player, or\n"
    "lists that program in xsvfdump's text form (--listing). A fault is reported as\n"
    "IN.svf:LINE:COLUMN: message, and no OUT.xsvf is left behind.\n"
    "Refused: PIO and PIOMAP, TRST ON while the TAP is to move, instruction scans\n"
    "over 56000 bits, RUNTEST counting SCK without a time, waits over 35 minutes.\n";

void Report(const SvfConversion& conversion, const std::string& svfPath) {
  if (!conversion.ok) {
    std::fprintf(stderr, "%s\n", conversion.fault.Describe(svfPath).c_str());
    return;
  }
  for (const SvfMessage& note : conversion.notes) {
    std::fprintf(stderr, "%s\n", note.Describe(svfPath).c_str());
  }
}

int List(const std::string& svfPath) {
  SvfFileInput input;
  if (!input.Open(svfPath)) {
    std::fprintf(stderr, "%s: cannot be opened\n", svfPath.c_str());
    return 1;
  }
  XsvfBytesOutput program;
  const SvfConversion conversion = ConvertSvf(input, program);
  Report(conversion, svfPath);
  if (!conversion.ok) return 1;
  const std::string listing = ListXsvfProgram(program.Bytes());
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--listing") == 0) return List(argv[2]);
  if (argc != 3 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const SvfConversion conversion = ConvertSvfFile(argv[1], argv[2]);
  Report(conversion, argv[1]);
  return conversion.ok ? 0 : 1;
}
