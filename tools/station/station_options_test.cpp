// update-station's command line: labelled ports, the address it listens on, and
// the line it hands to update-cli's run.

#include "tools/station/station_options.h"

#include <gtest/gtest.h>

namespace {

bool Parse(const std::vector<std::string>& arguments, StationOptions* options, std::string* error) {
  return ParseStationOptions(arguments, options, error);
}

TEST(StationOptions, PortsGoByTheirLabelsOrTheLastPartOfTheirPath) {
  EXPECT_EQ(ParseStationPort("A=/dev/ttyUSB0").label, "A");
  EXPECT_EQ(ParseStationPort("A=/dev/ttyUSB0").path, "/dev/ttyUSB0");
  EXPECT_EQ(ParseStationPort("/dev/ttyUSB1").label, "ttyUSB1");
  EXPECT_EQ(ParseStationPort("COM3").label, "COM3");
  // An '=' within the path is the path's.
  const StationPort odd = ParseStationPort("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2=1");
  EXPECT_EQ(odd.path, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2=1");
  EXPECT_EQ(odd.label, "pci-0000:00:14.0-usb-0:2=1");
}

TEST(StationOptions, TheLineIsUpdateClisRepeatOverThePortsPaths) {
  StationOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"-f", "release.upd", "-p", "left=/dev/ttyUSB0", "-p", "/dev/ttyUSB1",
                     "--log", "line.log", "--listen", "0.0.0.0:9000", "--allow-control"},
                    &options, &error))
      << error;
  EXPECT_EQ(options.listen.Text(), "0.0.0.0:9000");
  EXPECT_FALSE(options.listen.Loopback());
  EXPECT_TRUE(options.allowControl);
  const CliOptions line = LineOptions(options);
  EXPECT_TRUE(line.repeat);
  EXPECT_EQ(line.mode, CliMode::Update);
  EXPECT_EQ(line.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
  EXPECT_EQ(line.logPath, "line.log");
  EXPECT_EQ(line.file, "release.upd");

  ASSERT_TRUE(Parse({"-f", "a.upd", "-p", "COM3"}, &options, &error));
  EXPECT_EQ(options.listen.Text(), "127.0.0.1:8080");
  EXPECT_TRUE(options.listen.Loopback());
}

TEST(StationOptions, CommandLinesThatMakeNoSense) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-p", "COM3"}, "the station needs --file FILE and --port PORT"},
      {{"-f", "a.upd"}, "the station needs --port PORT and --file FILE"},
      {{"-f", "a.upd", "-p", "A=COM3", "-p", "A=COM4"}, "label A is given twice"},
      {{"-f", "a.upd", "-p", "A=COM3", "-p", "B=COM3"}, "port COM3 is given twice"},
      {{"-f", "a.upd", "-p", "=COM3"}, "--port needs [LABEL=]PORT, not '=COM3'"},
      {{"-f", "a.upd", "-p", "A="}, "--port needs [LABEL=]PORT, not 'A='"},
      {{"-f", "a.upd", "-p", "COM3", "--listen", "8080"},
       "--listen needs ADDR:PORT (127.0.0.1:8080), not '8080'"},
      {{"-f", "a.upd", "-p", "COM3", "--listen", "127.0.0.1:0"},
       "--listen needs ADDR:PORT (127.0.0.1:8080), not '127.0.0.1:0'"},
      {{"-f", "a.upd", "-p", "COM3", "--listen", "127.0.0.1:65536"},
       "--listen needs ADDR:PORT (127.0.0.1:8080), not '127.0.0.1:65536'"},
      {{"-f", "a.upd", "-p", "COM3", "extra"}, "unexpected argument 'extra'"},
  };
  for (const auto& [arguments, message] : cases) {
    StationOptions options;
    std::string error;
    EXPECT_FALSE(Parse(arguments, &options, &error)) << message;
    EXPECT_EQ(error, message);
  }
  std::vector<std::string> many = {"-f", "a.upd"};
  for (int i = 0; i < 17; ++i) many.insert(many.end(), {"-p", "COM" + std::to_string(i + 1)});
  StationOptions options;
  std::string error;
  EXPECT_FALSE(Parse(many, &options, &error));
  EXPECT_EQ(error, "at most 16 ports at once");
}

}  // namespace
