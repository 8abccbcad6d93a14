#include <cstdlib>
#include <string>
#include <vector>

#include "tools/cli/update_cli.h"

int main(int argc, char** argv) {
  return RunUpdateCli(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr, nullptr,
                      [](const char* name) -> const char* { return std::getenv(name); });
}
