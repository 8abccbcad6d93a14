#include <windows.h>

#include "tools/cli/latency_registry.h"
#include "tools/cli/serial_ports.h"

namespace {

// The registry below HKEY_LOCAL_MACHINE, read only.
class Win32Registry : public RegistryView {
 public:
  std::vector<std::string> SubKeys(const std::string& key) const override {
    std::vector<std::string> names;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
      return names;
    }
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(handle, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, size);
    }
    RegCloseKey(handle);
    return names;
  }

  bool ReadText(const std::string& key, const std::string& name,
                std::string* value) const override {
    char text[256] = {};
    DWORD size = sizeof text - 1;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS) {
      return false;
    }
    *value = text;
    return true;
  }

  bool ReadNumber(const std::string& key, const std::string& name,
                  uint32_t* value) const override {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &number, &size) != ERROR_SUCCESS) {
      return false;
    }
    *value = number;
    return true;
  }
};

// "COM3" for \\.\COM3.
std::string PortName(const std::string& devicePath) {
  const std::string prefix = "\\\\.\\";
  return devicePath.rfind(prefix, 0) == 0 ? devicePath.substr(prefix.size()) : devicePath;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string&) {
  std::vector<SerialPortInfo> ports;
  char target[512];
  for (int number = 1; number <= 256; ++number) {
    const std::string name = "COM" + std::to_string(number);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) {
      SerialPortInfo port;
      port.path = name;
      port.systemName = target;
      ports.push_back(port);
    }
  }
  return ports;
}

std::string PortDeviceName(const std::string& devicePath) {
  return PortName(devicePath);
}

std::string SystemRoot() {
  return "SYSTEM\\CurrentControlSet\\Enum";
}

std::string PermissionAdvice() {
  return "Ask whoever administers this computer for access to the port.";
}

std::string LatencyAdvice(const std::string& devicePath, const std::string& systemRoot) {
  const std::string port = PortName(devicePath);
  uint32_t milliseconds = 0;
  if (!FindLatencyTimer(Win32Registry(), systemRoot, port, &milliseconds) || milliseconds <= 1) {
    return "";
  }
  return LatencyAdviceText("on " + port, std::to_string(milliseconds), WindowsLatencySteps(port));
}
