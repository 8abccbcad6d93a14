#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "link/serial_port_posix.h"
#include "tools/cli/serial_ports.h"

namespace {

std::string ReadFirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

bool IsListedTty(const std::string& name) {
  for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// A ttyS device node exists for every possible UART; only those whose driver found
// a port (type other than 0) are real.
bool IsPresent(const std::string& ttyFolder, const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return true;
  return ReadFirstLine(ttyFolder + "/type") != "0";
}

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

std::string LastPart(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// The USB device above the tty in sysfs: the first parent folder with an idVendor,
// below the sysfs root.
void ReadUsbDetails(const std::string& deviceFolder, const std::string& root,
                    SerialPortInfo* port) {
  std::string folder = deviceFolder;
  while (folder.size() > root.size() && folder.compare(0, root.size(), root) == 0) {
    const std::string vendor = ReadFirstLine(folder + "/idVendor");
    if (!vendor.empty()) {
      port->vendorId = vendor;
      port->productId = ReadFirstLine(folder + "/idProduct");
      port->manufacturer = ReadFirstLine(folder + "/manufacturer");
      port->product = ReadFirstLine(folder + "/product");
      port->serialNumber = ReadFirstLine(folder + "/serial");
      return;
    }
    folder.erase(folder.find_last_of('/'));
  }
}

SerialPortInfo DescribePort(const std::string& root, const std::string& name) {
  SerialPortInfo port;
  port.path = "/dev/" + name;
  const std::string device = Resolved(root + "/class/tty/" + name + "/device");
  if (device.empty()) return port;
  port.driver = LastPart(Resolved(device + "/driver"));
  ReadUsbDetails(device, Resolved(root), &port);
  return port;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string& systemRoot) {
  std::vector<SerialPortInfo> ports;
  const std::string ttys = systemRoot + "/class/tty";
  DIR* dir = opendir(ttys.c_str());
  if (dir == nullptr) return ports;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsListedTty(name) || !IsPresent(ttys + "/" + name, name)) continue;
    ports.push_back(DescribePort(systemRoot, name));
  }
  closedir(dir);
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.path < b.path; });
  return ports;
}

std::string PortDeviceName(const std::string& devicePath) {
  // COMn names the system's n-th serial port, as the serial port opens it.
  return SystemDevicePath(devicePath);
}

std::string SystemRoot() {
  return "/sys";
}

std::string PermissionAdvice() {
  return "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
         "again.";
}

std::string LatencyAdvice(const std::string& portPath, const std::string& systemRoot) {
  // A name under /dev/serial/by-id or a link of the user's own leads to the tty.
  const std::string resolved = Resolved(SystemDevicePath(portPath));
  if (resolved.empty()) return "";
  const std::string name = LastPart(resolved);
  const std::string timerFile = systemRoot + "/bus/usb-serial/devices/" + name + "/latency_timer";
  const std::string value = ReadFirstLine(timerFile);
  if (value.empty() || std::atoi(value.c_str()) <= 1) return "";
  return LatencyAdviceText(name, value, "echo 1 | sudo tee " + timerFile);
}
