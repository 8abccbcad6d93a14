#include <string>
#include <vector>

#include "tools/cli/update_packer.h"
#include "tools/version_option.h"

int main(int argc, char** argv) {
  if (PrintVersionIfAsked("mkupd", argc, argv)) return 0;
  return RunMkupd(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
