#include "tools/cli/serial_ports.h"

#include <cstdio>

#include "engine/update_session.h"
#include "tools/cli/cli_options.h"

std::string DevicePathOfArgument(const std::string& port) {
  std::string name = port;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  int number = 0;
  char rest = 0;
  if (std::sscanf(name.c_str(), "COM%d%c", &number, &rest) == 1 && number > 0) {
    return DevicePathOfPort(number);
  }
  return port;
}

int RunPortsCommand(std::FILE* out) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts();
  if (ports.empty()) std::fprintf(out, "No serial ports found.\n");
  for (const SerialPortInfo& port : ports) {
    std::fprintf(out, "%-16s %s\n", port.path.c_str(), port.description.c_str());
  }
  return ExitAllUpdated;
}
