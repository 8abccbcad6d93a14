#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
bool IsPresent(const std::string& name) {
  if (name.rfind("ttyS", 0) != 0) return true;
  return ReadFirstLine("/sys/class/tty/" + name + "/type") != "0";
}

// The USB device above the tty in sysfs: the first parent folder with an idVendor.
std::string UsbDescription(const std::string& name) {
  char resolved[PATH_MAX];
  const std::string link = "/sys/class/tty/" + name + "/device";
  if (realpath(link.c_str(), resolved) == nullptr) return "";
  std::string folder = resolved;
  while (folder.size() > 1) {
    const std::string vendor = ReadFirstLine(folder + "/idVendor");
    if (!vendor.empty()) {
      std::string text = "USB " + vendor + ":" + ReadFirstLine(folder + "/idProduct");
      for (const char* field : {"/manufacturer", "/product"}) {
        const std::string value = ReadFirstLine(folder + field);
        if (!value.empty()) text += " " + value;
      }
      const std::string serial = ReadFirstLine(folder + "/serial");
      if (!serial.empty()) text += ", serial " + serial;
      return text;
    }
    folder.erase(folder.find_last_of('/'));
  }
  return "";
}

std::string TtyName(const std::string& devicePath) {
  return devicePath.substr(devicePath.find_last_of('/') + 1);
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  DIR* dir = opendir("/sys/class/tty");
  if (dir == nullptr) return ports;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsListedTty(name) || !IsPresent(name)) continue;
    ports.push_back({"/dev/" + name, UsbDescription(name)});
  }
  closedir(dir);
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.path < b.path; });
  return ports;
}

std::string PortOpenAdvice(const std::string& portPath) {
  // COMn names the system's n-th serial port, as the serial port opens it.
  const std::string devicePath = SystemDevicePath(portPath);
  if (access(devicePath.c_str(), F_OK) != 0) {
    return devicePath + " does not exist; update-cli --ports lists the serial ports present.";
  }
  if (access(devicePath.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    return "You lack permission to use " + devicePath +
           ": add your user to the dialout group (sudo usermod -aG dialout $USER), then log "
           "in again.";
  }
  return devicePath + " is held by another program; close it and try again.";
}

std::string LatencyAdvice(const std::string& portPath, const std::string& sysfsRoot) {
  // A name under /dev/serial/by-id or a link of the user's own leads to the tty.
  char resolved[PATH_MAX];
  if (realpath(SystemDevicePath(portPath).c_str(), resolved) == nullptr) return "";
  const std::string name = TtyName(resolved);
  const std::string timerFile = sysfsRoot + "/bus/usb-serial/devices/" + name + "/latency_timer";
  const std::string value = ReadFirstLine(timerFile);
  if (value.empty() || std::atoi(value.c_str()) <= 1) return "";
  return "The USB serial adapter " + name + " holds back every reply for up to " + value +
         " ms; JTAG updates run faster with 1 ms: echo 1 | sudo tee " + timerFile;
}
