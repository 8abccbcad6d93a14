// xsvfasm: assembles an XSVF program from its line-oriented text form, the form
// that xsvfdump lists programs in.
//
//   xsvfasm INPUT.txt OUTPUT.xsvf
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
// programs can be built on purpose; a warning then names the first problem.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file_bytes.h"
#include "tools/version_option.h"
#include "xsvf/xsvf_program.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kUsage =
    "usage: xsvfasm INPUT.txt OUTPUT.xsvf\n"
    "Assembles an XSVF program from its text form, as xsvfdump lists it.\n"
    "\n"
    "One command per line: the name as the debug log prints it, then its operands.\n"
    "Vectors are hex digits with or without 0x (0x alone is an empty vector);\n"
    "numbers are decimal or 0x hex; states are names (RUNTEST/IDLE, DRPAUSE, ...)\n"
    "or numbers; text is in double quotes with \\\\ \\\" \\n \\r \\t \\xNN escapes.\n"
    "Blank lines and # comments are ignored.\n"
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
    "  .bytes VECTOR...                          raw bytes\n";

}  // namespace

int main(int argc, char** argv) {
  if (PrintVersionIfAsked("xsvfasm", argc, argv)) return 0;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<uint8_t> source;
  if (!ReadFileBytes(argv[1], &source)) {
    std::fprintf(stderr, "xsvfasm: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> program;
  std::string error;
  if (!AssembleXsvfText(std::string(source.begin(), source.end()), &program, &error)) {
    std::fprintf(stderr, "xsvfasm: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  XsvfProgram parsed;
  if (!ParseXsvfProgram(program.data(), program.size(), &parsed, &error)) {
    std::fprintf(stderr, "xsvfasm: warning: the program will not play through: %s\n",
                 error.c_str());
  }
  if (!WriteFileBytes(argv[2], program)) {
    std::fprintf(stderr, "xsvfasm: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
