#include <string>
#include <vector>

#include "tools/cli/update_packer.h"
#include "tools/common/command_line.h"

int main(int argc, char** argv) {
  const int status = RunMkupd(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
  return StatusAfterOutput(stdout, stderr, "mkupd", status, 1);
}
