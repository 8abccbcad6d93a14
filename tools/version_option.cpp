#include "tools/version_option.h"

#include <cstdio>
#include <cstring>

#include "updater_version.h"

bool PrintVersionIfAsked(const char* program, int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::printf("%s %s\n", program, UPD_VERSION);
  return true;
}
