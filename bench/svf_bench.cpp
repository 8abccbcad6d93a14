// svf_bench: SVF in. Prints its part of the benchmark table (Markdown):
//
//   conversion: svf2xsvf, run as a separate program, converting a generated SVF of
//     about 100 MB shaped like an FPGA configuration (a long configuration scan
//     with its TDI and SMASK): its speed and its peak resident memory
//   the real programs: each SVF of testdata/svf converted and played in process
//     against the simulated device, next to the vendor tool's XSVF of the same run
//     (testdata/xsvf): the round trips and bytes on the wire of both
//
// Generated files go into the work folder.

#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_inputs.h"
#include "bench/bench_options.h"
#include "bench/measured_child.h"
#include "bench/result_table.h"
#include "svf/svf_converter.h"
#include "testsupport/simulated_play.h"

namespace {

constexpr size_t kMB = 1000 * 1000;

// Targets.
constexpr double kSpeedTargetMBps = 50;
constexpr double kMemoryTargetMiB = 32;
constexpr double kWireTarget = 1.00;

// A bound for a hung run, not a timing.
constexpr std::chrono::seconds kRunLimit{600};

// Hex digits per line of a generated vector, as vendor tools write them.
constexpr size_t kDigitsPerLine = 64;

const char* const kCorpusPrograms[] = {"cpld64_erase", "cpld64_program", "cpld36_program"};

struct Options : upd::BenchOptions {
  size_t svfBytes = 100 * kMB;
};

// Writes `digits` hex digits of `pattern` (repeated), kDigitsPerLine a line.
void WriteDigits(std::ofstream& out, const std::string& pattern, size_t digits) {
  std::string line;
  for (size_t written = 0; written < digits; written += line.size()) {
    const size_t count = std::min(kDigitsPerLine, digits - written);
    line.clear();
    for (size_t i = 0; i < count; ++i) line += pattern[(written + i) % pattern.size()];
    out << line << '\n';
  }
}

// An FPGA configuration's SVF of about `bytes` bytes: an IDCODE check, the
// configuration instruction, one long data scan with TDI and SMASK, and the start
// instruction. Returns the scan's length in bits.
uint64_t WriteConfigurationSvf(const std::string& path, size_t bytes) {
  // Each vector takes half the file; a line is its digits and a line end.
  const size_t digits = bytes / 2 * kDigitsPerLine / (kDigitsPerLine + 1);
  std::string pattern;
  static const char kHex[] = "0123456789abcdef";
  for (const uint8_t byte : MakeFirmwareImage(64 * 1024)) {
    pattern += kHex[byte >> 4];
    pattern += kHex[byte & 15];
  }
  std::ofstream out(path, std::ios::binary);
  out << "! a generated FPGA configuration\nTRST OFF;\nENDIR IDLE;\nENDDR IDLE;\n"
         "STATE RESET;\nSTATE IDLE;\nFREQUENCY 1E6 HZ;\n"
         "SIR 6 TDI (09);\nSDR 32 TDI (00000000) TDO (f5045093) MASK (0fffffff);\n"
         "SIR 6 TDI (05);\nSDR "
      << digits * 4 << " TDI (\n";
  WriteDigits(out, pattern, digits);
  out << ") SMASK (\n";
  WriteDigits(out, "f", digits);
  out << ");\nSIR 6 TDI (0c);\nRUNTEST 24 TCK;\nSIR 6 TDI (3f);\nSTATE RESET;\n";
  return digits * 4;
}

void Conversion(const Options& options, ResultTable& table) {
  const std::string svf = options.workDir + "/configuration.svf";
  const uint64_t scanBits = WriteConfigurationSvf(svf, options.svfBytes);
  const uintmax_t svfBytes = std::filesystem::file_size(svf);
  // Start the converter small (see measured_child.h).
  malloc_trim(0);
  const std::string log = options.workDir + "/svf2xsvf.log";
  const StartedChild child = StartMeasuredChild(
      UPD_SVF2XSVF_PATH, {svf, options.workDir + "/configuration.xsvf"}, options.workDir, log);
  const ChildUsage usage = WaitForChildren({child}, kRunLimit).front();

  const std::string size = FormatNumber(svfBytes / double(kMB), 0) + " MB";
  table.Section("SVF in: a generated configuration SVF of " + size + ", one scan of " +
                FormatCount(scanBits) + " bits");
  if (!usage.ended || usage.exitStatus != 0) {
    table.Add({"svf2xsvf, " + size + " SVF", "FAILED: see " + log});
    return;
  }
  const double speed = svfBytes / double(kMB) / usage.wallSeconds;
  const uintmax_t xsvfBytes = std::filesystem::file_size(options.workDir + "/configuration.xsvf");
  table.Add({"svf2xsvf, " + size + " SVF: conversion speed", FormatNumber(speed, 0) + " MB/s",
             Seconds(usage.wallSeconds) + " wall, " + Seconds(usage.cpuSeconds) + " CPU; " +
                 FormatNumber(xsvfBytes / double(kMB), 1) + " MB of XSVF",
             FormatNumber(speed / kSpeedTargetMBps, 2),
             "> " + FormatNumber(kSpeedTargetMBps, 0) + " MB/s", speed > kSpeedTargetMBps ? "yes" : "no"});
  table.AddLimit("svf2xsvf, " + size + " SVF: peak resident memory", usage.maxRssKb / 1024.0,
                 kMemoryTargetMiB, "MiB", "the SVF is " + size);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Round trips (frames, each answered before the next) and bytes both ways.
struct Wire {
  uint64_t roundTrips = 0;
  uint64_t bytes = 0;
  bool played = false;
};

Wire PlayOnce(const std::vector<uint8_t>& program) {
  SimulatedPlay play(program);
  play.Reset();
  Wire wire;
  wire.played = play.Play() == 0;
  const SimCounters counters = play.Device().Counters();
  wire.roundTrips = counters.frames;
  wire.bytes = counters.bytesReceived + counters.bytesSent;
  return wire;
}

void RealPrograms(ResultTable& table) {
  table.Section("SVF in: the real programs on the wire, ours against the vendor tool's XSVF");
  const std::string testData = std::string(UPD_SOURCE_DIR) + "/testdata/";
  for (const char* name : kCorpusPrograms) {
    SvfFileInput input;
    XsvfBytesOutput ours;
    if (!input.Open(testData + "svf/" + name + ".svf") || !ConvertSvf(input, ours).ok) {
      table.Add({name, "FAILED: does not convert"});
      continue;
    }
    const std::vector<uint8_t> vendors = ReadBytes(testData + "xsvf/" + name + ".xsvf");
    const Wire our = PlayOnce(ours.Bytes());
    const Wire vendor = PlayOnce(vendors);
    if (!our.played || !vendor.played) {
      table.Add({name, "FAILED: does not play through"});
      continue;
    }
    const auto add = [&](const std::string& figure, uint64_t measured, uint64_t reference) {
      const double ratio = double(measured) / double(reference);
      table.Add({std::string(name) + ": " + figure, FormatCount(measured),
                 FormatCount(reference) + " (the vendor's)", FormatNumber(ratio, 3),
                 "≤ " + FormatNumber(kWireTarget, 2), ratio <= kWireTarget ? "yes" : "no"});
    };
    add("round trips", our.roundTrips, vendor.roundTrips);
    add("bytes on the wire", our.bytes, vendor.bytes);
    table.Add({std::string(name) + ": XSVF bytes", FormatCount(ours.Bytes().size()),
               FormatCount(vendors.size()) + " (the vendor's)",
               FormatNumber(double(ours.Bytes().size()) / double(vendors.size()), 3)});
  }
}

const std::vector<OptionSpec> kOptions = {
    kHelpOption,
    upd::kWorkOption,
    upd::QuickOption("an 8 MB SVF instead of 100 MB"),
    {0, "only", "SECTIONS", "runs only if svf is among them"},
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CommandLine line;
  if (std::optional<int> ended = upd::StartBench(
          argc, argv, "svf_bench",
          "SVF in: svf2xsvf's speed and memory, the real programs' traffic.\n", kOptions,
          &options, &line)) {
    return *ended;
  }
  if (options.quick) options.svfBytes = 8 * kMB;
  if (!options.Runs("svf")) return 0;
  std::filesystem::create_directories(options.workDir);
  std::cerr << "svf_bench: converting a generated SVF, then the real programs\n";
  ResultTable table;
  Conversion(options, table);
  RealPrograms(table);
  std::cout << "\n";
  table.Print(std::cout);
  return 0;
}
