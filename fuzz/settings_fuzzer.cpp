// update.cfg, the window's settings file, with any bytes in it. Reading keeps
// what can be read: a path of one line and a port entry from 0 to 9; what is
// read saves and reads back the same.
//
// The file is update.cfg in the working directory (scripts/fuzz runs the target
// in a scratch one).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/settings.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen("update.cfg", "wb");
  FuzzCheck(file != nullptr, "the settings file can be written");
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  std::string path;
  int port = -1;
  if (!LoadSettings("", &path, &port)) return 0;
  FuzzCheck(port >= 0 && port <= 9, "the port entry is Com1 to Com10");
  FuzzCheck(path.find('\n') == std::string::npos, "the path is one line");

  FuzzCheck(SaveSettings("", path, port), "the settings save");
  std::string pathAgain;
  int portAgain = -1;
  FuzzCheck(LoadSettings("", &pathAgain, &portAgain), "saved settings read back");
  FuzzCheck(pathAgain == path && portAgain == port, "saved settings read back the same");
  return 0;
}
