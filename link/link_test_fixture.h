#pragma once
// A fixture for tests of the command link and the cable commands: an update state
// whose port is a scripted MemoryPort, made the update in progress.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "engine/update_state.h"
#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "link/memory_port.h"

using Bytes = std::vector<uint8_t>;

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() {
    auto owned = std::make_unique<MemoryPort>();
    device = owned.get();
    state.port.Attach(std::move(owned));
    state.port.SetTimeouts(150);
    g_pUpdateState = &state;
    ResetCableState();
  }
  ~LinkTest() override { g_pUpdateState = nullptr; }

  // The payload of a frame, after checking its length field and CRC.
  static Bytes PayloadOf(const Bytes& frame) {
    if (frame.size() < 4) {
      ADD_FAILURE() << "frame of " << frame.size() << " bytes";
      return {};
    }
    EXPECT_EQ(static_cast<size_t>(frame[0] << 8 | frame[1]), frame.size() - 2);
    const Bytes payload(frame.begin() + 2, frame.end() - 2);
    const uint16_t crc = Crc16(payload.data(), payload.size());
    EXPECT_EQ(frame[frame.size() - 2], crc >> 8);
    EXPECT_EQ(frame[frame.size() - 1], crc & 0xFF);
    return payload;
  }

  Bytes PayloadOfWrite(size_t index) const {
    if (index >= device->writes.size()) {
      ADD_FAILURE() << "no write " << index;
      return {};
    }
    return PayloadOf(device->writes[index]);
  }

  // The error code that `action` throws, or -1 if it throws nothing.
  static int LinkErrorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const CComErrException& error) {
      return error.code;
    }
    return -1;
  }

  UpdateState state;
  MemoryPort* device = nullptr;
};
