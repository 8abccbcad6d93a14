#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "testsupport/captured_text.h"
#include "testsupport/json_lines.h"
#include "tools/cli/serial_ports.h"

namespace {

namespace fs = std::filesystem;

// A device node stand-in named like a USB adapter's tty, reached through a link
// as /dev/serial/by-id names it, and a sysfs tree that reports its latency timer.
class LatencyAdviceTest : public ::testing::Test {
 protected:
  LatencyAdviceTest() {
    fs::remove_all(root);
    fs::create_directories(root + "/dev/serial/by-id");
    fs::create_directories(timerFolder);
    std::ofstream(root + "/dev/ttyUSB7") << "";
    fs::create_symlink("../../ttyUSB7", byId);
  }

  void SetTimer(const std::string& value) {
    std::ofstream(timerFolder + "/latency_timer") << value;
  }

  const std::string root = fs::absolute("latency").string();
  const std::string sysfs = root + "/sys";
  const std::string timerFolder = sysfs + "/bus/usb-serial/devices/ttyUSB7";
  const std::string byId = root + "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
};

TEST_F(LatencyAdviceTest, NamesTheTimerAndHowToLowerItWhenAboveOneMillisecond) {
  SetTimer("16\n");
  const std::string advice = LatencyAdvice(byId, sysfs);
  EXPECT_NE(advice.find("ttyUSB7"), std::string::npos) << advice;
  EXPECT_NE(advice.find("16 ms"), std::string::npos) << advice;
  EXPECT_NE(advice.find("echo 1 | sudo tee " + timerFolder + "/latency_timer"), std::string::npos)
      << advice;
}

TEST_F(LatencyAdviceTest, ShowsWhatTheTimerFileHoldsNotObeysIt) {
  SetTimer("16\x1b[2J\r\n");
  EXPECT_EQ(LatencyAdvice(byId, sysfs),
            "The USB serial adapter ttyUSB7 holds back every reply for up to 16\\x1b[2J\\x0d ms; "
            "JTAG updates run faster with 1 ms: echo 1 | sudo tee " + timerFolder +
                "/latency_timer");
}

TEST_F(LatencyAdviceTest, SaysNothingAtOneMillisecondOrWithoutATimer) {
  SetTimer("1\n");
  EXPECT_EQ(LatencyAdvice(byId, sysfs), "");
  fs::remove(timerFolder + "/latency_timer");
  EXPECT_EQ(LatencyAdvice(byId, sysfs), "");
  EXPECT_EQ(LatencyAdvice(root + "/dev/no-such-tty", sysfs), "");
}

// The text for a port that cannot be opened comes from why the open failed:
// "in use or does not exist" only where that is true, with the system's words.
class PortOpenText : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder + "/notes.txt") << "not a port";
  }

  static std::string TextFor(const std::string& port) {
    CSerialPort serial;
    EXPECT_FALSE(serial.Open(DevicePathOfArgument(port), 57600, 150)) << port;
    return PortOpenFailureText(port, serial.LastOpenFailure());
  }

  const std::string folder = fs::absolute("port_texts").string();
};

TEST_F(PortOpenText, SaysWhatTheSystemSaid) {
  const std::string missing = folder + "/ttyUSB9";
  EXPECT_EQ(TextFor(missing),
            "Error: " + missing + " in use or does not exist.\n" + missing +
                " does not exist (No such file or directory); update-cli --ports lists the "
                "serial ports present.");
  for (const std::string& port : {std::string("/dev/null"), folder + "/notes.txt", folder}) {
    const std::string text = TextFor(port);
    EXPECT_EQ(text.rfind("Error: " + port + " is not a serial device (", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.find('\n')), "\nupdate-cli --ports lists the serial ports present.")
        << text;
  }
  EXPECT_EQ(TextFor("/dev/null"),
            "Error: /dev/null is not a serial device (Inappropriate ioctl for device).\n"
            "update-cli --ports lists the serial ports present.");
  // A name too long used to be reported as refusing the line settings, though
  // the port was never opened.
  const std::string tooLong = folder + "/" + std::string(300, 'x');
  EXPECT_EQ(TextFor(tooLong), "Error: " + tooLong +
                                  " cannot be opened: File name too long.\n"
                                  "update-cli --ports lists the serial ports present.");
}

TEST_F(PortOpenText, APortHeldByAnotherProgramIsInUse) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  CSerialPort holder;
  ASSERT_TRUE(holder.Open(terminal, 57600, 150));
  const std::string text = TextFor(terminal);
  EXPECT_EQ(text.rfind("Error: " + terminal + " in use or does not exist.\n" + terminal +
                           " is held by another program (",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("); close it and try again."), std::string::npos) << text;
  holder.Close();
  close(master);
}

TEST(PortOpenFailureTexts, SayWhatToDoForEachReason) {
  EXPECT_EQ(PortOpenFailureText("COM3", {PortOpenError::NoPermission, "Permission denied"}),
            "Error: you may not use COM3 (Permission denied).\nAdd your user to the dialout "
            "group (sudo usermod -aG dialout $USER), then log in again.");
  EXPECT_EQ(PortOpenFailureText("COM3", {PortOpenError::Missing, "No such file or directory"}),
            "Error: COM3 in use or does not exist.\n/dev/ttyS2 does not exist (No such file or "
            "directory); update-cli --ports lists the serial ports present.");
  EXPECT_EQ(PortOpenFailureText("/dev/ttyUSB0", {PortOpenError::Refused, "Input/output error"}),
            "Error: /dev/ttyUSB0 refused the line settings (57600 baud, 8 data bits, no parity, "
            "1 stop bit): Input/output error.\nCheck that it is the device's serial port "
            "(update-cli --ports).");
}

// A sysfs tree as Linux lays it out for a USB adapter, a USB modem-class device
// and two UARTs, one of which has no port behind it.
class PortsFromSysfs : public ::testing::Test {
 protected:
  PortsFromSysfs() {
    fs::remove_all(root);
    const std::string usb = root + "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    AddUsbDevice(usb, "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3");
    AddTty("ttyUSB0", usb + "/1-2:1.0/ttyUSB0", "ftdi_sio");
    const std::string acm = root + "/devices/pci0000:00/0000:00:14.0/usb1/1-3";
    AddUsbDevice(acm, "2341", "0043", "", "Uno", "");
    AddTty("ttyACM0", acm + "/1-3:1.0", "cdc_acm");
    AddTty("ttyS0", root + "/devices/pnp0/00:04", "serial");
    std::ofstream(root + "/class/tty/ttyS0/type") << "4\n";
    AddTty("ttyS1", root + "/devices/platform/serial8250", "serial8250");
    std::ofstream(root + "/class/tty/ttyS1/type") << "0\n";
    fs::create_directories(root + "/class/tty/tty0");
  }

  void AddUsbDevice(const std::string& folder, const std::string& vendor,
                    const std::string& product, const std::string& manufacturer,
                    const std::string& productName, const std::string& serial) {
    fs::create_directories(folder);
    std::ofstream(folder + "/idVendor") << vendor << "\n";
    std::ofstream(folder + "/idProduct") << product << "\n";
    if (!manufacturer.empty()) std::ofstream(folder + "/manufacturer") << manufacturer << "\n";
    std::ofstream(folder + "/product") << productName << "\n";
    if (!serial.empty()) std::ofstream(folder + "/serial") << serial << "\n";
  }

  void AddTty(const std::string& name, const std::string& device, const std::string& driver) {
    fs::create_directories(device);
    fs::create_directories(root + "/bus/drivers/" + driver);
    fs::create_directory_symlink(root + "/bus/drivers/" + driver, device + "/driver");
    fs::create_directories(root + "/class/tty/" + name);
    fs::create_directory_symlink(device, root + "/class/tty/" + name + "/device");
  }

  const std::string root = fs::absolute("ports_sysfs").string();
};

TEST_F(PortsFromSysfs, ListsWhatTheSystemKnowsOfEachPort) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts(root);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].path, "/dev/ttyACM0");
  EXPECT_EQ(ports[0].Description(), "USB 2341:0043 Uno, driver cdc_acm");
  EXPECT_EQ(ports[1].path, "/dev/ttyS0");
  EXPECT_EQ(ports[1].Description(), "driver serial");
  EXPECT_EQ(ports[2].path, "/dev/ttyUSB0");
  EXPECT_EQ(ports[2].vendorId, "0403");
  EXPECT_EQ(ports[2].productId, "6001");
  EXPECT_EQ(ports[2].manufacturer, "FTDI");
  EXPECT_EQ(ports[2].product, "FT232R USB UART");
  EXPECT_EQ(ports[2].serialNumber, "A1B2C3");
  EXPECT_EQ(ports[2].driver, "ftdi_sio");
  EXPECT_EQ(ports[2].Description(), "USB 0403:6001 FTDI FT232R USB UART, serial A1B2C3, driver ftdi_sio");
}

TEST_F(PortsFromSysfs, PortsCommandPrintsTextOrOneJsonDocument) {
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(RunPortsCommand(out, false, root), 0);
  EXPECT_EQ(ContentsAndClose(out),
            "/dev/ttyACM0     USB 2341:0043 Uno, driver cdc_acm\n"
            "/dev/ttyS0       driver serial\n"
            "/dev/ttyUSB0     USB 0403:6001 FTDI FT232R USB UART, serial A1B2C3, driver ftdi_sio\n");
  out = std::tmpfile();
  EXPECT_EQ(RunPortsCommand(out, true, root), 0);
  const std::string json = ContentsAndClose(out);
  const JsonDocument document = ParsedJson(json);
  EXPECT_EQ(document.at("command"), "ports");
  EXPECT_EQ(document.at("exit"), 0);
  ASSERT_EQ(document.at("ports").size(), 3u);
  const JsonDocument& adapter = document.at("ports").at(2);
  EXPECT_EQ(adapter.at("path"), "/dev/ttyUSB0");
  EXPECT_EQ(adapter.at("vendorId"), "0403");
  EXPECT_EQ(adapter.at("serialNumber"), "A1B2C3");
  EXPECT_EQ(adapter.at("driver"), "ftdi_sio");
  EXPECT_TRUE(document.at("ports").at(1).at("vendorId").is_null());

  out = std::tmpfile();
  EXPECT_EQ(RunPortsCommand(out, true, root + "/nowhere"), 0);
  EXPECT_EQ(ContentsAndClose(out), "{\"command\":\"ports\",\"ports\":[],\"exit\":0}\n");
}

// A USB adapter's strings are the adapter's to say: one that would clear the
// screen, return to the line's start or send Latin-1 is shown, not obeyed, and
// the JSON stays valid UTF-8.
TEST_F(PortsFromSysfs, HostileAdapterStringsAreShownNotObeyed) {
  const std::string usb = root + "/devices/pci0000:00/0000:00:14.0/usb1/1-4";
  AddUsbDevice(usb, "0403", "6015", "\x1b]0;owned\x07M\xfcller", "\x1b[2J\rAll 3 targets verified OK",
               "\xc2\x9b" "2J\xe2\x80\xae");
  AddTty("ttyUSB1", usb + "/1-4:1.0/ttyUSB1", "ftdi_sio");
  std::FILE* out = std::tmpfile();
  EXPECT_EQ(RunPortsCommand(out, false, root), 0);
  const std::vector<std::string> lines = Lines(ContentsAndClose(out));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3],
            "/dev/ttyUSB1     USB 0403:6015 \\x1b]0;owned\\x07M\\xfcller \\x1b[2J\\x0dAll 3 "
            "targets verified OK, serial \\u009b2J\\u202e, driver ftdi_sio");

  out = std::tmpfile();
  EXPECT_EQ(RunPortsCommand(out, true, root), 0);
  const std::string json = ContentsAndClose(out);
  const JsonDocument document = ParsedJson(json);  // refuses what is not UTF-8
  ASSERT_EQ(document.at("ports").size(), 4u);
  const JsonDocument& adapter = document.at("ports").at(3);
  EXPECT_EQ(adapter.at("manufacturer"), "\x1b]0;owned\x07M\xc3\xbcller");
  EXPECT_EQ(adapter.at("product"), "\x1b[2J\rAll 3 targets verified OK");
  EXPECT_EQ(adapter.at("serialNumber"), "\xc2\x9b" "2J\xe2\x80\xae");
  EXPECT_EQ(json.find('\x1b'), std::string::npos) << json;
}

}  // namespace
