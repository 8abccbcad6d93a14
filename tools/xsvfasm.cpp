// xsvfasm: assembles an XSVF program from its line-oriented text form, the form
// that xsvfdump lists programs in.
//
//   xsvfasm INPUT.txt OUTPUT.xsvf
//   xsvfasm INPUT.txt -o OUTPUT.xsvf     the same; "-" is standard output
//
// The text form, one command per line (xsvf/xsvf_text.h describes every command):
//
//   # comments run to the end of the line
//   XREPEAT 32
//   XSDRSIZE 12
//   XSDRTDO 0x0fff 0x0a5f
//   XSTATE RUNTEST/IDLE
//   XCOMPLETE
//   .bytes 0x00ff             raw bytes, e.g. after XCOMPLETE
//
// The program is written even when it would not play through, so that bad
// programs can be built on purpose; a warning then names the first problem. It
// replaces an existing OUTPUT.xsvf only once written whole; to standard output
// the program goes once assembled whole.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/common/standard_streams.h"
#include "xsvf/file_bytes.h"
#include "xsvf/output_file.h"
#include "xsvf/xsvf_program.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kProgram = "xsvfasm";

const std::vector<OptionSpec> kOptions = {
    {'o', "output", "FILE", "the program to write, instead of OUTPUT.xsvf; - for\nstandard output"},
    kHelpOption,
    kVersionOption,
};

std::string Usage() {
  return "usage: xsvfasm INPUT.txt OUTPUT.xsvf\n"
         "       xsvfasm INPUT.txt -o OUTPUT.xsvf\n"
         "\n"
         "Assembles an XSVF program from its text form, as xsvfdump lists it.\n"
         "\n"
         "One command per line: the name as the debug log prints it, then its operands.\n"
         "Vectors are hex digits with or without 0x (0x alone is an empty vector),\n"
         "written at the size the player reads them at (XSDRSIZE, XSIR's bit count,\n"
         "the XSETSDRMASKS data mask): a shorter one gets zeros in front, a longer one\n"
         "is an error. Numbers are decimal or 0x hex; states are names (RUNTEST/IDLE,\n"
         "DRPAUSE, ...) or numbers; text is in double quotes with \\\\ \\\" \\n \\r \\t\n"
         "\\xNN escapes. Blank lines and # comments are ignored. No command may follow\n"
         "XCOMPLETE; .bytes writes anything, anywhere.\n"
         "\n"
         "  XCOMPLETE, Reserved5, Reserved6           (no operands)\n"
         "  XTDOMASK | XSDR | XSDRB | XSDRC | XSDRE   VECTOR\n"
         "  XSDRTDO | XSDRTDOB | XSDRTDOC | XSDRTDOE  TDI EXPECTED\n"
         "  XSETSDRMASKS                              ADDRESSMASK DATAMASK\n"
         "  XSIR BITS VECTOR     XSIR2 BITS VECTOR    (8-bit / 16-bit bit count)\n"
         "  XRUNTEST USEC        XSDRSIZE BITS        (32 bits)\n"
         "  XREPEAT N            XENDIR 0|1           XENDDR 0|1\n"
         "  XSTATE STATE         XWAIT STATE ENDSTATE USEC\n"
         "  XSDRINC TDI PIECE...                      (the piece count is implied)\n"
         "  XCOMMENT \"TEXT\"                           (the 0 byte is implied)\n"
         "  .bytes VECTOR...                          raw bytes\n"
         "\n"
         "The program is written even when it would not play through (a warning then\n"
         "names the first problem), so that bad programs can be built on purpose.\n"
         "\n" +
         OptionsAndExitStatus(kOptions, "the program was written",
                              "the text has an error, or a file cannot be read or written");
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (std::optional<int> ended = StartProgram(argc, argv, kOptions, kProgram, Usage(), &line)) {
    return *ended;
  }
  const size_t operands = line.Has("output") ? 1 : 2;
  if (line.operands.size() != operands) {
    return ReportUsageError(stderr, kProgram,
                            operands == 1 ? "with --output, name the text to read alone"
                                          : "name the text to read and the program to write");
  }
  const std::string& input = line.operands[0];
  const std::string output = line.Has("output") ? line.Value("output") : line.operands[1];
  std::vector<uint8_t> source;
  if (!ReadFileBytes(input, &source)) {
    ReportFailure(stderr, kProgram, "cannot read " + input);
    return kExitNotWritten;
  }
  std::vector<uint8_t> program;
  std::string error;
  if (!AssembleXsvfText(std::string(source.begin(), source.end()), &program, &error)) {
    ReportFailure(stderr, kProgram, input + ": " + error);
    return kExitNotWritten;
  }
  XsvfProgram parsed;
  if (!ParseXsvfProgram(program.data(), program.size(), &parsed, &error)) {
    ReportFailure(stderr, kProgram, "warning: the program will not play through: " + error);
  }
  const bool written = IsStandardStream(output)
                           ? WriteToStandardOutput(program.data(), program.size())
                           : WriteFileAtomically(output, program.data(), program.size());
  if (!written) {
    ReportFailure(stderr, kProgram,
                  IsStandardStream(output) ? "cannot write to standard output" : "cannot write " + output);
    return kExitNotWritten;
  }
  return 0;
}
