#pragma once
// A fixture for the player's tests: g_pUpdateState points at a record whose
// update file holds the program under test (as the raw data of a "V1.01"
// record) and whose port is a scripted device. The device answers every command
// frame with 0x11 unless the test says otherwise, and records the payloads.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/host.h"
#include "engine/update_file.h"
#include "engine/update_state.h"
#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "link/memory_port.h"
#include "xsvf/xsvf_text.h"

class PlayerTest : public ::testing::Test {
 protected:
  // The device's answer to one payload: a reply byte, or kSilent for none.
  static constexpr int kSilent = -1;
  using ReplyPolicy = std::function<int(const std::vector<uint8_t>& payload)>;

  PlayerTest() {
    auto port = std::make_unique<MemoryPort>();
    device = port.get();
    state.port.Attach(std::move(port));
    device->onWrite = [this](MemoryPort& port, const std::vector<uint8_t>& bytes) {
      Answer(port, bytes);
    };
    g_pUpdateState = &state;
    ResetCableState();
    EchoedComments().clear();
    SetCommentSink([](const std::string& text) { EchoedComments() += text + "\n"; });
  }

  ~PlayerTest() override {
    if (state.updateFile) std::fclose(state.updateFile);
    g_pUpdateState = nullptr;
    SetCommentSink(nullptr);
  }

  // Makes `bytes` the data of the current record.
  void LoadProgram(const std::vector<uint8_t>& bytes) {
    if (state.updateFile) std::fclose(state.updateFile);
    state.updateFile = std::fopen("program.bin", "wb+");
    ASSERT_NE(state.updateFile, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), state.updateFile), bytes.size());
    std::rewind(state.updateFile);
    state.formatVersion = 1;
    state.targetFlags = 0;
    state.targetLength = static_cast<int32_t>(bytes.size());
    StartRecordData(state);
  }

  // Assembles the text form and makes it the current record's data.
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

  // The TMS level of every TAP step ('B' frames of one step), e.g. "100".
  std::string TmsSteps() const {
    std::string levels;
    for (const auto& payload : PayloadsOf('B')) {
      if (payload.size() == 4 && payload[2] == 0x01) levels += payload[1] ? '1' : '0';
    }
    return levels;
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

  // The debug log's bytes.
  static std::string ReadLog() {
    std::FILE* file = std::fopen("xsvf_debug.txt", "rb");
    const std::string text = ReadAll(file);
    if (file) std::fclose(file);
    return text;
  }

  // The comments the program passed on so far, each followed by a line end.
  static std::string& EchoedComments() {
    static std::string comments;
    return comments;
  }

  UpdateState state;
  MemoryPort* device = nullptr;
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
