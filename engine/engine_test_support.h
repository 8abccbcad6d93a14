#pragma once
// An UpdateState for the engine's tests: g_pUpdateState points at it, its port is
// a scripted MemoryPort and its update file holds bytes the test gives.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_bytes.h"
#include "engine/update_file.h"
#include "engine/update_state.h"
#include "engine/update_writer.h"
#include "link/memory_port.h"

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    auto port = std::make_unique<MemoryPort>();
    device = port.get();
    state.port.Attach(std::move(port));
    state.filePath.Set("test.upd");
    g_pUpdateState = &state;
  }

  ~EngineTest() override {
    CloseFile();
    g_pUpdateState = nullptr;
  }

  // Makes `bytes` the update file, opened in byte mode at its start. The file sits
  // in the test program's own working directory.
  void LoadFile(const std::vector<uint8_t>& bytes) {
    CloseFile();
    ASSERT_TRUE(WriteFileBytes(kFileName, bytes));
    state.updateFile = std::fopen(kFileName, "rb");
    ASSERT_NE(state.updateFile, nullptr);
  }

  void LoadFile(const std::string& text) {
    LoadFile(std::vector<uint8_t>(text.begin(), text.end()));
  }

  // Builds a file with the writer, loads it and reads its header.
  void LoadBuiltFile(const std::string& format, const std::vector<UpdateTarget>& targets) {
    std::vector<uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(BuildUpdateFile(format, targets, &bytes, &reason)) << reason;
    LoadFile(bytes);
    std::string message;
    ASSERT_TRUE(ReadUpdateHeader(state, &message)) << message;
  }

  // Loads a built file and reads the first record's header, then sets the reader
  // up for the record's data, as the worker does.
  void LoadFirstRecord(const std::string& format, const std::vector<UpdateTarget>& targets) {
    ASSERT_NO_FATAL_FAILURE(LoadBuiltFile(format, targets));
    uint32_t id = 0;
    ASSERT_TRUE(ReadTargetId(state, &id));
    ASSERT_TRUE(ReadRecordHeader(state));
    StartRecordData(state);
  }

  // Reads data bytes until the reader refuses.
  static std::vector<uint8_t> ReadRecordData() {
    std::vector<uint8_t> data;
    uint8_t byte = 0;
    while (ReadDataByte(&byte)) data.push_back(byte);
    return data;
  }

  long FilePosition() const { return std::ftell(state.updateFile); }

  UpdateState state;
  MemoryPort* device = nullptr;

 private:
  static constexpr const char* kFileName = "engine_test.upd";

  void CloseFile() {
    if (state.updateFile != nullptr) std::fclose(state.updateFile);
    state.updateFile = nullptr;
  }
};
