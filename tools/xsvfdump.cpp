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
#include <cstring>
#include <string>
#include <vector>

#include "engine/file_bytes.h"
#include "tools/version_option.h"
#include "xsvf/xsvf_text.h"

namespace {

constexpr const char* kUsage =
    "usage: xsvfdump PROGRAM.xsvf\n"
    "Lists an XSVF program on standard output in the text form of xsvfasm: line N\n"
    "is command N, as the player's debug log counts commands. Bytes after XCOMPLETE\n"
    "or from a command that cannot be read on follow as .bytes lines.\n"
    "See xsvfasm --help for the text form.\n";

}  // namespace

int main(int argc, char** argv) {
  if (PrintVersionIfAsked("xsvfdump", argc, argv)) return 0;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<uint8_t> program;
  if (!ReadFileBytes(argv[1], &program)) {
    std::fprintf(stderr, "xsvfdump: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string listing = ListXsvfProgram(program);
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
