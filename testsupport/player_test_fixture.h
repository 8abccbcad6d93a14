#pragma once
// A fixture for the player's tests: the program under test in memory, and a port
// whose device is scripted. The device answers every command frame with 0x11
// unless the test says otherwise, and records the payloads. Play() runs the
// program as an update would; the pieces (link, cable, debug log, XsvfIo) are
// there for tests of single handlers and moves.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "testsupport/memory_byte_source.h"
#include "testsupport/memory_port.h"
#include "xsvf/debug_log.h"
#include "xsvf/xsvf_run.h"
#include "xsvf/xsvf_text.h"

class PlayerTest : public ::testing::Test {
 protected:
  // The device's answer to one payload: a reply byte, or kSilent for none.
  static constexpr int kSilent = -1;
  using ReplyPolicy = std::function<int(const std::vector<uint8_t>& payload)>;

  PlayerTest() {
    auto owned = std::make_unique<MemoryPort>();
    device = owned.get();
    port.Attach(std::move(owned));
    device->onWrite = [this](MemoryPort& port, const std::vector<uint8_t>& bytes) {
      Answer(port, bytes);
    };
    host.comment = [this](const std::string& text) { comments += text + "\n"; };
    io.comment = host.comment;
    host.progress = [this] { ++progressReports; };
    log.Open();
  }

  // Makes `bytes` the program, read from its first byte.
  void LoadProgram(const std::vector<uint8_t>& bytes) { program.Load(bytes); }

  // Assembles the text form and makes it the program.
  void LoadProgram(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(AssembleXsvfText(text, &bytes, &error)) << error;
    LoadProgram(bytes);
  }

  // The command letters of the frames sent, in order, e.g. "BBBBBBBF".
  std::string Commands() const {
    std::string letters;
    for (const auto& payload : payloads) letters += static_cast<char>(payload.at(0));
    return letters;
  }

  std::vector<std::vector<uint8_t>> PayloadsOf(char command) const {
    std::vector<std::vector<uint8_t>> matching;
    for (const auto& payload : payloads) {
      if (payload.at(0) == command) matching.push_back(payload);
    }
    return matching;
  }

  // The TMS level at every rising TCK edge, over all 'B' frames in order, e.g.
  // "100": the TAP steps the device took, however they were framed.
  std::string TmsSteps() const {
    std::string steps;
    char tms = '1';
    for (const auto& payload : PayloadsOf('B')) {
      for (size_t i = 1; i < payload.size(); ++i) {
        const bool high = (payload[i] >> 4) != 0;
        if ((payload[i] & 0x0F) == PortTms) {
          tms = high ? '1' : '0';
        } else if (high) {
          steps += tms;
        }
      }
    }
    return steps;
  }

  // The microseconds of every 'T' frame.
  std::vector<uint32_t> Waits() const {
    std::vector<uint32_t> waits;
    for (const auto& payload : PayloadsOf('T')) {
      waits.push_back(static_cast<uint32_t>(payload.at(1)) << 24 | payload.at(2) << 16 |
                      payload.at(3) << 8 | payload.at(4));
    }
    return waits;
  }

  // Plays the program as an update does, with a debug log of the run's own.
  int Play() {
    log.Close();
    return PlayXsvf(program, link, host);
  }

  // The debug log's bytes.
  static std::string ReadLog() {
    std::FILE* file = std::fopen("xsvf_debug.txt", "rb");
    const std::string text = ReadAll(file);
    if (file) std::fclose(file);
    return text;
  }

  MemoryByteSource program;
  CSerialPort port;
  MemoryPort* device = nullptr;
  std::atomic<bool> cancelRequested{false};
  CommandLink link{port, cancelRequested};
  XsvfRunHost host;
  // For tests of single handlers and moves: a cable of each kind, an open debug
  // log and the XsvfIo over each cable, the log and the program.
  JtagCable cable{link};
  JtagCable oneStepCable{link, StepFrames::OnePerStep};
  XsvfDebugLog log;
  XsvfIo io{program, cable, log, nullptr};
  XsvfIo oneStepIo{program, oneStepCable, log, nullptr};
  std::string comments;  // the comments the program passed on, each with a line end
  int progressReports = 0;
  std::vector<std::vector<uint8_t>> payloads;  // every frame's payload, in order
  ReplyPolicy reply = [](const std::vector<uint8_t>&) { return 0x11; };
  std::vector<uint8_t> capturedTdo;  // what a read-back returns (zeros when short)

 private:
  static std::string ReadAll(std::FILE* file) {
    std::string text;
    if (!file) return text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
    return text;
  }

  void Answer(MemoryPort& port, const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4) return;  // not a frame (the end byte of a cancel)
    const std::vector<uint8_t> payload(bytes.begin() + 2, bytes.end() - 2);
    payloads.push_back(payload);
    const int answer = reply(payload);
    if (answer == kSilent) {
      port.QueueTimeout();
      return;
    }
    port.QueueReply({static_cast<uint8_t>(answer)});
    if (payload[0] == 'R' && answer == 0x11) port.QueueReply(ReadAnswer(payload));
  }

  // The answer frame to a read-back request: each byte as two nibbles, with CRC.
  std::vector<uint8_t> ReadAnswer(const std::vector<uint8_t>& request) const {
    const size_t bytes = ((request.at(1) << 8 | request.at(2)) + 7) / 8;
    std::vector<uint8_t> body = {'R'};
    for (size_t i = 0; i < bytes; ++i) {
      const uint8_t value = i < capturedTdo.size() ? capturedTdo[i] : 0;
      body.push_back(value >> 4);
      body.push_back(value & 0x0F);
    }
    const uint16_t crc = Crc16(body.data(), body.size());
    const size_t length = body.size() + 2;
    std::vector<uint8_t> answer = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    answer.reserve(2 + length);  // no reallocating insert: g++ 12 at -O3 warns falsely about it
    answer.insert(answer.end(), body.begin(), body.end());
    answer.push_back(static_cast<uint8_t>(crc >> 8));
    answer.push_back(static_cast<uint8_t>(crc));
    return answer;
  }
};
