#pragma once
// An UpdateState for the engine's tests: its port is a scripted MemoryPort and its
// update file's snapshot holds bytes the test gives; a reader of the file's
// records is at hand.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/update_file.h"
#include "engine/update_session.h"
#include "engine/update_state.h"
#include "engine/update_writer.h"
#include "testsupport/memory_port.h"

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    auto port = std::make_unique<MemoryPort>();
    device = port.get();
    state.port.Attach(std::move(port));
    state.filePath.Set("test.upd");
  }

  // Makes `bytes` the update file's snapshot, its records read from its start.
  void LoadFile(const std::vector<uint8_t>& bytes) {
    reader.reset();
    state.updateFile.copy = UpdateFileCopy::FromBytes(bytes.data(), bytes.size());
    ASSERT_TRUE(state.updateFile.copy);
    state.updateFile.recordsStart = 0;
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
    ASSERT_TRUE(ReadHeader(&message)) << message;
  }

  // Reads the loaded file's header as OpenUpdateFile does: what it says is shown
  // in the state, and the records are read from its end.
  bool ReadHeader(std::string* message) {
    UpdateFileHeader header;
    if (!ReadUpdateHeader(*state.updateFile.copy, "test.upd", &header, message)) {
      state.targetCount = 0;
      return false;
    }
    reader.reset();
    UseUpdateFile(state, {state.updateFile.copy, header.recordsStart}, header);
    return true;
  }

  // Loads a built file and reads the first record's header, then sets the reader
  // up for the record's data, as the worker does.
  void LoadFirstRecord(const std::string& format, const std::vector<UpdateTarget>& targets) {
    ASSERT_NO_FATAL_FAILURE(LoadBuiltFile(format, targets));
    uint32_t id = 0;
    ASSERT_TRUE(Reader().ReadTargetId(&id));
    ASSERT_TRUE(Reader().ReadRecordHeader());
    Reader().StartRecordData();
  }

  // Loads one record of a "V1.01" file (flags, kind, length, then `data` as they
  // are stored) or, for format 0, of a "V1.00" file (length and digit pairs), and
  // sets the reader up for its data. DataPosition() then counts from its first
  // stored byte.
  void LoadRecord(int32_t formatVersion, uint32_t flags, uint32_t length,
                  const std::vector<uint8_t>& data) {
    char header[32];
    if (formatVersion == 0) {
      std::snprintf(header, sizeof header, "%08X", length);
    } else {
      std::snprintf(header, sizeof header, "%04X FEFF %08X", flags, length);
    }
    std::vector<uint8_t> bytes(header, header + std::strlen(header));
    dataStart = static_cast<long>(bytes.size());
    bytes.insert(bytes.end(), data.begin(), data.end());
    LoadFile(bytes);
    state.formatVersion = formatVersion;
    ASSERT_TRUE(Reader().ReadRecordHeader());
    Reader().StartRecordData();
  }

  // The reader of the loaded file's records, in the format the header check found
  // (or LoadRecord set).
  UpdateFileReader& Reader() {
    if (!reader) reader = std::make_unique<UpdateFileReader>(state.updateFile, state.formatVersion);
    return *reader;
  }

  // Reads data bytes until the reader refuses.
  std::vector<uint8_t> ReadRecordData() {
    std::vector<uint8_t> data;
    uint8_t byte = 0;
    while (Reader().ReadDataByte(&byte)) data.push_back(byte);
    return data;
  }

  long FilePosition() { return static_cast<long>(Reader().Position()); }
  // The position within the data of the record LoadRecord loaded.
  long DataPosition() { return FilePosition() - dataStart; }

  UpdateState state;
  MemoryPort* device = nullptr;

 private:
  std::unique_ptr<UpdateFileReader> reader;
  long dataStart = 0;
};
