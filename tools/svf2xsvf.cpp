// svf2xsvf: converts an SVF program, as every programmable-logic vendor's tool
// writes them, into an XSVF program for the updater's player (svf/svf_converter.h
// says what each statement becomes and what is refused).
//
//   svf2xsvf IN.svf OUT.xsvf      writes the program, as it converts
//   svf2xsvf IN.svf -             writes it to standard output, as it converts
//   svf2xsvf --listing IN.svf     lists it in xsvfdump's text form instead
//
// A fault is reported as "IN.svf:LINE:COLUMN: message", the first one only, and
// leaves an existing OUT.xsvf as it was (the program goes to a temporary file
// renamed at the end); OUT.xsvf may not be IN.svf under any name. Notes on what
// XSVF does otherwise than the SVF asks follow the same form. On standard output
// the bytes go out as they are made: a fault halfway leaves them there, and the
// exit status says that they are no program. The listing holds the program in
// memory to list it.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "svf/svf_converter.h"
#include "tools/common/command_line.h"
#include "tools/common/standard_streams.h"
#include "xsvf/shown_text.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kProgram = "svf2xsvf";
constexpr int kExitNotConverted = 1;

const std::vector<OptionSpec> kOptions = {
    {0, "listing", nullptr, "list the program in xsvfdump's text form instead of\nwriting it"},
    kHelpOption,
    kVersionOption,
};

std::string Usage() {
  return "usage: svf2xsvf IN.svf OUT.xsvf\n"
         "       svf2xsvf --listing IN.svf\n"
         "\n"
         "Converts an SVF program into an XSVF program for the updater's player, or\n"
         "lists that program in xsvfdump's text form (--listing). A fault is reported as\n"
         "IN.svf:LINE:COLUMN: message, and an existing OUT.xsvf is left as it was.\n"
         "OUT.xsvf - writes the program to standard output as it is made.\n"
         "Refused: PIO and PIOMAP, TRST ON while the TAP is to move, instruction scans\n"
         "over 56000 bits, RUNTEST counting SCK without a time, waits over 35 minutes,\n"
         "a program growing beyond 16 bytes per byte of SVF and 1 MiB (a long header or\n"
         "trailer shifted again in every scan). OUT.xsvf may not be IN.svf.\n"
         "\n" +
         OptionsAndExitStatus(kOptions, "the program was converted",
                              "the SVF program cannot be read or converted, or the XSVF cannot be written");
}

void Report(const SvfConversion& conversion, const std::string& svfPath) {
  if (!conversion.ok) {
    std::fprintf(stderr, "%s\n", TerminalText(conversion.fault.Describe(svfPath)).c_str());
    return;
  }
  for (const SvfMessage& note : conversion.notes) {
    std::fprintf(stderr, "%s\n", TerminalText(note.Describe(svfPath)).c_str());
  }
}

bool OpenSvf(SvfFileInput& input, const std::string& svfPath) {
  if (input.Open(svfPath)) return true;
  std::fprintf(stderr, "%s: cannot be opened\n", TerminalText(svfPath).c_str());
  return false;
}

// The program on standard output, in byte mode, written as it is made.
class StandardOutputXsvf : public XsvfOutput {
 public:
  bool Open() {
    out = BinaryStandardOutput();
    return out != nullptr;
  }
  bool Write(const uint8_t* bytes, size_t count) override {
    return std::fwrite(bytes, 1, count, out) == count;
  }

 private:
  std::FILE* out = nullptr;
};

int ConvertToStandardOutput(const std::string& svfPath) {
  SvfFileInput input;
  if (!OpenSvf(input, svfPath)) return kExitNotConverted;
  StandardOutputXsvf output;
  if (!output.Open()) {
    std::fprintf(stderr, "%s: standard output cannot take bytes as they are\n", kProgram);
    return kExitNotConverted;
  }
  const SvfConversion conversion = ConvertSvf(input, output);
  Report(conversion, svfPath);
  if (!conversion.ok) return kExitNotConverted;
  return StatusAfterOutput(stdout, stderr, kProgram, 0, kExitNotConverted);
}

int List(const std::string& svfPath) {
  SvfFileInput input;
  if (!OpenSvf(input, svfPath)) return kExitNotConverted;
  XsvfBytesOutput program;
  const SvfConversion conversion = ConvertSvf(input, program);
  Report(conversion, svfPath);
  if (!conversion.ok) return kExitNotConverted;
  const std::string listing = ListXsvfProgram(program.Bytes());
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return StatusAfterOutput(stdout, stderr, kProgram, 0, kExitNotConverted);
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (std::optional<int> ended = StartProgram(argc, argv, kOptions, kProgram, Usage(), &line)) {
    return *ended;
  }
  const size_t operands = line.Has("listing") ? 1 : 2;
  if (line.operands.size() != operands) {
    return ReportUsageError(stderr, kProgram,
                            operands == 1 ? "--listing takes one SVF program"
                                          : "name the SVF program and the XSVF program to write");
  }
  if (line.Has("listing")) return List(line.operands[0]);
  if (IsStandardStream(line.operands[1])) return ConvertToStandardOutput(line.operands[0]);
  const SvfConversion conversion = ConvertSvfFile(line.operands[0], line.operands[1]);
  Report(conversion, line.operands[0]);
  return conversion.ok ? 0 : kExitNotConverted;
}
