#include "tools/cli/latency_registry.h"

#include <cctype>

namespace {

// The buses whose devices' parameters may hold a latency timer.
const char* const kAdapterBuses[] = {"FTDIBUS", "USB"};

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool FindLatencyTimer(const RegistryView& registry, const std::string& enumKey,
                      const std::string& portName, uint32_t* milliseconds) {
  for (const char* bus : kAdapterBuses) {
    const std::string busKey = enumKey + "\\" + bus;
    for (const std::string& device : registry.SubKeys(busKey)) {
      const std::string deviceKey = busKey + "\\" + device;
      for (const std::string& instance : registry.SubKeys(deviceKey)) {
        const std::string parameters = deviceKey + "\\" + instance + "\\Device Parameters";
        std::string name;
        if (registry.ReadText(parameters, "PortName", &name) && SameName(name, portName) &&
            registry.ReadNumber(parameters, "LatencyTimer", milliseconds)) {
          return true;
        }
      }
    }
  }
  return false;
}

std::string WindowsLatencySteps(const std::string& portName) {
  return "in Device Manager open Ports (COM & LPT), " + portName +
         ", Properties, Port Settings, Advanced, and set Latency Timer (msec) to 1.";
}
