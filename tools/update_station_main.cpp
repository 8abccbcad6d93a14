#include <string>
#include <vector>

#include "tools/station/station.h"

int main(int argc, char** argv) {
  return RunUpdateStation(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
