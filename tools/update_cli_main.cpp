#include <string>
#include <vector>

#include "tools/cli/update_cli.h"
#include "tools/version_option.h"

int main(int argc, char** argv) {
  if (PrintVersionIfAsked("update-cli", argc, argv)) return 0;
  return RunUpdateCli(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
