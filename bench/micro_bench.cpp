// micro_bench: the updater's hot paths on their own (Google Benchmark).
//
//   Crc16OverFrame     the CRC of the largest frame payload the cable commands build
//   EncodeVector       the run-length code of one 64-byte shift vector
//   ReadDataByte       a firmware record's data, byte by byte, in each encoding
//   PlayXsvf           XSVF programs against the in-process simulated device, the
//                      device's own work included
//
// Each benchmark's label names its item ("per byte"); items per second give the
// time per item. The player writes its debug log into the working directory.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_inputs.h"
#include "engine/update_file.h"
#include "engine/update_state.h"
#include "engine/update_writer.h"
#include "link/command_link.h"
#include "link/jtag_cable.h"
#include "testsupport/simulated_play.h"
#include "xsvf/xsvf_text.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Largest shift payload: 'S', flags, count, three coded 64-byte vectors.
constexpr size_t kLargestPayload = 205;
constexpr size_t kSlotBytes = 64;
constexpr size_t kRecordImageSize = 64 * 1024;
// Commands per played program: enough that opening the debug log and starting
// the run do not count.
constexpr size_t kPlayedCommands = 4000;

void Crc16OverFrame(benchmark::State& state) {
  const Bytes payload(MakeFirmwareImage(kLargestPayload));
  for (auto _ : state) benchmark::DoNotOptimize(Crc16(payload.data(), payload.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetLabel("per 205-byte frame");
}
BENCHMARK(Crc16OverFrame);

enum class VectorShape { Varied, Uniform, Mixed };

Bytes ShiftVector(VectorShape shape) {
  Bytes vector = MakeFirmwareImage(kSlotBytes);
  if (shape == VectorShape::Uniform) vector.assign(kSlotBytes, 0xFF);
  // Mixed: a row partly erased, as programming data often is.
  if (shape == VectorShape::Mixed) std::fill(vector.begin() + kSlotBytes / 2, vector.end(), 0xFF);
  return vector;
}

void EncodeVector(benchmark::State& state, VectorShape shape) {
  const Bytes vector = ShiftVector(shape);
  uint8_t coded[kSlotBytes + 3];
  for (auto _ : state) {
    benchmark::DoNotOptimize(::EncodeVector(vector.data(), vector.size(), coded));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetLabel("per 64-byte vector");
}
BENCHMARK_CAPTURE(EncodeVector, varied, VectorShape::Varied);
BENCHMARK_CAPTURE(EncodeVector, uniform, VectorShape::Uniform);
BENCHMARK_CAPTURE(EncodeVector, mixed, VectorShape::Mixed);

// An update file's private copy, read up to the data of its first record.
class OpenRecord {
 public:
  OpenRecord(const std::string& format, bool runLengthCoded) {
    UpdateTarget target;
    target.name = " Firmware";
    target.runLengthCoded = runLengthCoded;
    target.data = FirmwareBlocks(MakeFirmwareImage(kRecordImageSize));
    decodedSize = target.data.size();
    Bytes file;
    std::string reason;
    if (!BuildUpdateFile(format, {target}, &file, &reason)) throw std::runtime_error(reason);
    const auto copy = UpdateFileCopy::FromBytes(file.data(), file.size());
    if (!copy) throw std::runtime_error("cannot write a temporary file");
    UpdateFileHeader header;
    std::string message;
    if (!ReadUpdateHeader(*copy, "bench.upd", &header, &message)) {
      throw std::runtime_error(message);
    }
    UpdateFileReader reader({copy, header.recordsStart}, header.formatVersion);
    uint32_t id = 0;
    if (!reader.ReadTargetId(&id) || !reader.ReadRecordHeader()) {
      throw std::runtime_error("the update file does not read back");
    }
    atData = std::make_unique<UpdateFileReader>(reader);
  }

  // A reader at the first data byte, with its state as the worker sets it.
  UpdateFileReader& Rewind() {
    current = std::make_unique<UpdateFileReader>(*atData);
    current->StartRecordData();
    return *current;
  }

  size_t decodedSize = 0;

 private:
  std::unique_ptr<UpdateFileReader> atData;   // just read the record header
  std::unique_ptr<UpdateFileReader> current;
};

void ReadDataByte(benchmark::State& state, const char* format, bool runLengthCoded) {
  OpenRecord record(format, runLengthCoded);
  for (auto _ : state) {
    UpdateFileReader& reader = record.Rewind();
    uint8_t byte = 0;
    size_t count = 0;
    while (reader.ReadDataByte(&byte)) ++count;
    if (count != record.decodedSize) state.SkipWithError("the record did not read whole");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * record.decodedSize));
  state.SetLabel("per byte");
}
BENCHMARK_CAPTURE(ReadDataByte, V1_00_hex, "V1.00", false);
BENCHMARK_CAPTURE(ReadDataByte, V1_01_raw, "V1.01", false);
BENCHMARK_CAPTURE(ReadDataByte, V1_01_run_length, "V1.01", true);

// A long data shift split over commands of 1024 bits, as FPGA configurations are.
Bytes SplitShiftProgram(size_t commands) {
  std::string text = "XSTATE RESET\nXSTATE RUNTEST/IDLE\nXSDRSIZE 1024\n";
  const Bytes image = MakeFirmwareImage(128 * commands);
  for (size_t i = 0; i < commands; ++i) {
    text += i == 0 ? "XSDRB 0x" : i + 1 == commands ? "XSDRE 0x" : "XSDRC 0x";
    for (size_t j = 0; j < 128; ++j) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02x", image[128 * i + j]);
      text += digits;
    }
    text += "\n";
  }
  text += "XCOMPLETE\n";
  Bytes program;
  std::string error;
  if (!AssembleXsvfText(text, &program, &error)) throw std::logic_error(error);
  return program;
}

void PlayXsvf(benchmark::State& state, Bytes program) {
  SimulatedPlay play(std::move(program));
  for (auto _ : state) {
    state.PauseTiming();
    play.Reset();
    state.ResumeTiming();
    if (play.Play() != 0) state.SkipWithError("the program did not play to its end");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * play.Commands()));
  state.SetLabel("per command");
}
BENCHMARK_CAPTURE(PlayXsvf, benchmark_program, BenchmarkProgram(kPlayedCommands))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayXsvf, split_1024_bit_shifts, SplitShiftProgram(kPlayedCommands / 4))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
