#include <string>
#include <vector>

#include "tools/cli/update_packer.h"

int main(int argc, char** argv) {
  return RunMkupd(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
