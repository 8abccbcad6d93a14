#include "link/serial_port.h"

std::unique_ptr<SerialChannel> OpenSystemSerialPort(const std::string&, uint32_t, uint32_t) {
  return nullptr;  // placeholder until the termios back end lands
}
