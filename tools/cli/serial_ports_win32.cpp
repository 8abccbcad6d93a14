#include <windows.h>

#include "tools/cli/serial_ports.h"

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  char target[512];
  for (int number = 1; number <= 256; ++number) {
    const std::string name = "COM" + std::to_string(number);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) {
      ports.push_back({name, target});
    }
  }
  return ports;
}

std::string PortOpenAdvice(const std::string&) {
  return "Check that the port exists (update-cli --ports) and that no other program holds it.";
}

std::string LatencyAdvice(const std::string&, const std::string&) {
  return "";
}
