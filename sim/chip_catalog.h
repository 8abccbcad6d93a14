#pragma once
// The chips a simulated JTAG target can have behind its port, by name.

#include <string>

#include "sim/device_config.h"

// "demo": the demo chip. "script:FILE": a chip that answers every scan as the XSVF
// program in FILE expects (the file is read once, here). An empty factory with
// *error for an unknown name or a file that cannot be read or parsed.
ChipFactory ChipFactoryFor(const std::string& name, std::string* error);
