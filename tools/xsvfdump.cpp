// xsvfdump: lists an XSVF program in the text form that xsvfasm assembles, one
// command per line, so that line N of the listing is command N: the line that the
// player's debug log points at with "See line #N in the XSVF ASCII file".
//
//   xsvfdump PROGRAM.xsvf
//
// Bytes after XCOMPLETE, and everything from a command that cannot be read on,
// follow as .bytes lines, so that xsvfasm turns the listing back into the same
// bytes.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "xsvf/file_bytes.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kProgram = "xsvfdump";
constexpr int kExitNotListed = 1;

const std::vector<OptionSpec> kOptions = {kHelpOption, kVersionOption};

std::string Usage() {
  return "usage: xsvfdump PROGRAM.xsvf\n"
         "\n"
         "Lists an XSVF program on standard output in the text form of xsvfasm: line N\n"
         "is command N, as the player's debug log counts commands. Bytes after XCOMPLETE\n"
         "or from a command that cannot be read on follow as .bytes lines, so that\n"
         "xsvfasm turns the listing back into the same bytes. See xsvfasm --help for the\n"
         "text form.\n"
         "\n" +
         OptionsAndExitStatus(kOptions, "the program was listed (also one that cannot be read to its end)",
                              "the program cannot be read, or the listing cannot be written");
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  if (std::optional<int> ended = StartProgram(argc, argv, kOptions, kProgram, Usage(), &line)) {
    return *ended;
  }
  if (line.operands.size() != 1) {
    return ReportUsageError(stderr, kProgram, "name one program to list");
  }
  std::vector<uint8_t> program;
  if (!ReadFileBytes(line.operands[0], &program)) {
    ReportFailure(stderr, kProgram, "cannot read " + line.operands[0]);
    return kExitNotListed;
  }
  const std::string listing = ListXsvfProgram(program);
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return StatusAfterOutput(stdout, stderr, kProgram, 0, kExitNotListed);
}
