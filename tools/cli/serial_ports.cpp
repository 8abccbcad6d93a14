#include "tools/cli/serial_ports.h"

#include <cstdio>

#include "engine/messages.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/json_text.h"
#include "xsvf/shown_text.h"

namespace {

// The serial port's settings, as a refusal names them.
constexpr const char* kLineSettings = "57600 baud, 8 data bits, no parity, 1 stop bit";

Json TextOrNull(const std::string& text) {
  return text.empty() ? Json() : Json(text);
}

Json PortJson(const SerialPortInfo& port) {
  return Json{{"path", port.path},
              {"vendorId", TextOrNull(port.vendorId)},
              {"productId", TextOrNull(port.productId)},
              {"manufacturer", TextOrNull(port.manufacturer)},
              {"product", TextOrNull(port.product)},
              {"serialNumber", TextOrNull(port.serialNumber)},
              {"driver", TextOrNull(port.driver)},
              {"systemName", TextOrNull(port.systemName)}};
}

}  // namespace

std::string SerialPortInfo::Description() const {
  std::string text;
  if (!vendorId.empty()) text = "USB " + vendorId + ":" + productId;
  for (const std::string* field : {&manufacturer, &product}) {
    if (!field->empty()) text += (text.empty() ? "" : " ") + *field;
  }
  if (!serialNumber.empty()) text += ", serial " + serialNumber;
  if (!driver.empty()) text += (text.empty() ? "driver " : ", driver ") + driver;
  if (!systemName.empty()) text += (text.empty() ? "" : ", ") + systemName;
  return text;
}

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

std::string PortOpenFailureText(const std::string& port, const PortOpenFailure& failure) {
  const std::string device = PortDeviceName(DevicePathOfArgument(port));
  const std::string because = " (" + failure.systemText + ")";
  switch (failure.reason) {
    case PortOpenError::Missing:
      return WithoutLineEnd(FormatMessageText(MsgPortInUse, port.c_str())) + "\n" + device +
             " does not exist" + because +
             "; update-cli --ports lists the serial ports present.";
    case PortOpenError::Busy:
      return WithoutLineEnd(FormatMessageText(MsgPortInUse, port.c_str())) + "\n" + device +
             " is held by another program" + because + "; close it and try again.";
    case PortOpenError::NoPermission:
      return "Error: you may not use " + port + because + ".\n" + PermissionAdvice();
    case PortOpenError::NotSerial:
      return "Error: " + port + " is not a serial device" + because +
             ".\nupdate-cli --ports lists the serial ports present.";
    case PortOpenError::NotOpened:
      return WithoutLineEnd(FormatMessageText(MsgPortNotOpened, port.c_str(),
                                              failure.systemText.c_str())) +
             "\nupdate-cli --ports lists the serial ports present.";
    case PortOpenError::Refused:
      return "Error: " + port + " refused the line settings (" + kLineSettings +
             "): " + failure.systemText +
             ".\nCheck that it is the device's serial port (update-cli --ports).";
    case PortOpenError::AlreadyOpen:
    case PortOpenError::None:
      break;
  }
  return "Error: " + port + " cannot be opened.";
}

std::string LatencyAdviceText(const std::string& adapter, const std::string& milliseconds,
                              const std::string& howToLower) {
  // The adapter's name and timer are the system's words: shown, not obeyed.
  return "The USB serial adapter " + TerminalText(adapter) + " holds back every reply for up to " +
         TerminalText(milliseconds) + " ms; JTAG updates run faster with 1 ms: " +
         TerminalText(howToLower);
}

int RunPortsCommand(std::FILE* out, bool json, const std::string& systemRoot) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts(systemRoot);
  if (json) {
    Json list = Json::array();
    for (const SerialPortInfo& port : ports) list.push_back(PortJson(port));
    const Json document{{"command", "ports"}, {"ports", list}, {"exit", ExitAllUpdated}};
    std::fprintf(out, "%s\n", JsonText(document).c_str());
    return ExitAllUpdated;
  }
  if (ports.empty()) std::fprintf(out, "No serial ports found.\n");
  // What the system says of a USB adapter is the adapter's to say: shown, not obeyed.
  for (const SerialPortInfo& port : ports) {
    std::fprintf(out, "%s %s\n", PadColumns(TerminalText(port.path), 16).c_str(),
                 TerminalText(port.Description()).c_str());
  }
  return ExitAllUpdated;
}
