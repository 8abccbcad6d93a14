// Finding a USB serial adapter's latency timer among the drivers' device
// parameters, in a registry of the test's own.

#include "tools/cli/latency_registry.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tools/cli/serial_ports.h"

namespace {

class FakeRegistry : public RegistryView {
 public:
  // Adds a device's parameters below ENUM\bus\device\instance.
  void AddDevice(const std::string& path, const std::string& portName, uint32_t latency,
                 bool withLatency = true) {
    std::string key = "Enum";
    std::string rest = path;
    while (!rest.empty()) {
      const size_t slash = rest.find('\\');
      const std::string part = rest.substr(0, slash);
      children[key].insert(part);
      key += "\\" + part;
      rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    }
    const std::string parameters = key + "\\Device Parameters";
    texts[parameters + "|PortName"] = portName;
    if (withLatency) numbers[parameters + "|LatencyTimer"] = latency;
  }

  std::vector<std::string> SubKeys(const std::string& key) const override {
    const auto found = children.find(key);
    if (found == children.end()) return {};
    return std::vector<std::string>(found->second.begin(), found->second.end());
  }
  bool ReadText(const std::string& key, const std::string& name,
                std::string* value) const override {
    const auto found = texts.find(key + "|" + name);
    if (found == texts.end()) return false;
    *value = found->second;
    return true;
  }
  bool ReadNumber(const std::string& key, const std::string& name,
                  uint32_t* value) const override {
    const auto found = numbers.find(key + "|" + name);
    if (found == numbers.end()) return false;
    *value = found->second;
    return true;
  }

 private:
  std::map<std::string, std::set<std::string>> children;
  std::map<std::string, std::string> texts;
  std::map<std::string, uint32_t> numbers;
};

TEST(LatencyRegistry, FindsTheTimerOfTheAdapterThatServesThePort) {
  FakeRegistry registry;
  registry.AddDevice("FTDIBUS\\VID_0403+PID_6001+A1B2C3A\\0000", "COM3", 16);
  registry.AddDevice("FTDIBUS\\VID_0403+PID_6015+D4E5F6A\\0000", "COM7", 2);
  registry.AddDevice("USB\\VID_067B&PID_2303\\5&1A2B3C&0&2", "COM9", 8);
  registry.AddDevice("USB\\VID_2341&PID_0043\\75830", "COM4", 0, false);
  uint32_t milliseconds = 0;
  ASSERT_TRUE(FindLatencyTimer(registry, "Enum", "COM3", &milliseconds));
  EXPECT_EQ(milliseconds, 16u);
  ASSERT_TRUE(FindLatencyTimer(registry, "Enum", "com7", &milliseconds));
  EXPECT_EQ(milliseconds, 2u);
  ASSERT_TRUE(FindLatencyTimer(registry, "Enum", "COM9", &milliseconds));
  EXPECT_EQ(milliseconds, 8u);
  EXPECT_FALSE(FindLatencyTimer(registry, "Enum", "COM4", &milliseconds));
  EXPECT_FALSE(FindLatencyTimer(registry, "Enum", "COM1", &milliseconds));
  EXPECT_FALSE(FindLatencyTimer(FakeRegistry(), "Enum", "COM3", &milliseconds));
}

TEST(LatencyRegistry, AdviceNamesThePortAndTheStepsInDeviceManager) {
  EXPECT_EQ(LatencyAdviceText("on COM3", "16", WindowsLatencySteps("COM3")),
            "The USB serial adapter on COM3 holds back every reply for up to 16 ms; JTAG "
            "updates run faster with 1 ms: in Device Manager open Ports (COM & LPT), COM3, "
            "Properties, Port Settings, Advanced, and set Latency Timer (msec) to 1.");
}

}  // namespace
