#pragma once
// Where Windows keeps a USB serial adapter's latency timer: the adapter driver's
// per-device parameters in the registry. FTDI's driver keeps, for each device it
// serves, a key ENUM\FTDIBUS\<device>\<instance>\Device Parameters with the values
// PortName ("COM3") and LatencyTimer (milliseconds, a DWORD); drivers that hang
// off the USB bus directly keep theirs under ENUM\USB\... in the same form.
//
// The search is portable: it reads through a RegistryView, which Windows serves
// from the registry (serial_ports_win32.cpp) and tests from a tree of their own.

#include <cstdint>
#include <string>
#include <vector>

class RegistryView {
 public:
  virtual ~RegistryView() = default;
  // The names of the subkeys of `key` (a path below HKEY_LOCAL_MACHINE, parts
  // separated by backslashes); none if it does not exist.
  virtual std::vector<std::string> SubKeys(const std::string& key) const = 0;
  virtual bool ReadText(const std::string& key, const std::string& name,
                        std::string* value) const = 0;
  virtual bool ReadNumber(const std::string& key, const std::string& name,
                          uint32_t* value) const = 0;
};

// The latency timer of the adapter that serves `portName` (COMn, as the user named
// it; case does not matter), searched below `enumKey` (the registry's ENUM key);
// false if no adapter there names that port with a latency timer.
bool FindLatencyTimer(const RegistryView& registry, const std::string& enumKey,
                      const std::string& portName, uint32_t* milliseconds);

// The steps to lower the timer, in the words of Windows' Device Manager.
std::string WindowsLatencySteps(const std::string& portName);
