#include "bench/bench_inputs.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "xsvf/xsvf_text.h"

namespace {

// A small, fast generator with a fixed seed (xorshift64).
class Random {
 public:
  uint8_t NextByte() { return static_cast<uint8_t>(Next() >> 24); }
  uint32_t Below(uint32_t limit) { return static_cast<uint32_t>(Next() % limit); }

 private:
  uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  uint64_t state = 0x9E3779B97F4A7C15ull;
};

// One row of the device: 281 bits, as a CPLD's row shifts are long.
constexpr int kRowBits = 281;
constexpr size_t kRowBytes = (kRowBits + 7) / 8;
constexpr int kAddressBits = 7;
// Commands before the first row and after the last (XCOMPLETE).
constexpr size_t kHeaderCommands = 9;
constexpr size_t kTrailerCommands = 1;

std::string HexVector(const std::vector<uint8_t>& bytes) {
  std::string text = "0x";
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

// A row's data: varied bytes ending in erased ones, the spare top bits clear.
std::vector<uint8_t> RowData(Random& random) {
  std::vector<uint8_t> row(kRowBytes);
  const size_t erasedFrom = kRowBytes - random.Below(kRowBytes / 2);
  for (size_t i = 0; i < kRowBytes; ++i) row[i] = i >= erasedFrom ? 0xFF : random.NextByte();
  row[0] &= static_cast<uint8_t>((1u << (kRowBits % 8)) - 1);
  return row;
}

std::string Header() {
  return "XREPEAT 32\n"
         "XENDIR 0\n"
         "XENDDR 0\n"
         "XSTATE RESET\n"
         "XSTATE RUNTEST/IDLE\n"
         "XSIR 8 0x01\n"  // IDCODE
         "XSDRSIZE 32\n"
         "XTDOMASK 0x0fffffff\n"  // any version
         "XSDRTDO 0x00000000 0x0bad0093\n";
}

// Programs row `index`, then reads it back and compares it.
std::string Row(size_t index, Random& random) {
  const std::vector<uint8_t> data = RowData(random);
  const std::vector<uint8_t> zeros(kRowBytes, 0x00);
  const std::vector<uint8_t> all(kRowBytes, 0xFF);
  char address[8];
  std::snprintf(address, sizeof address, "0x%02x", static_cast<unsigned>(index % 128));
  std::string text;
  text += "XSIR 8 0x03\n";  // PROGRAM
  text += "XSDRSIZE " + std::to_string(kRowBits) + "\n";
  text += "XTDOMASK " + HexVector(zeros) + "\n";
  text += "XRUNTEST 10000\n";
  text += "XSDRTDO " + HexVector(data) + " " + HexVector(zeros) + "\n";
  text += "XRUNTEST 0\n";
  text += "XSIR 8 0x04\n";  // READ
  text += "XENDDR 1\n";
  text += "XSDRSIZE " + std::to_string(kAddressBits) + "\n";
  text += "XTDOMASK 0x00\n";
  text += "XSDRTDO " + std::string(address) + " 0x00\n";
  text += "XWAIT DRPAUSE RUNTEST/IDLE 20\n";
  text += "XENDDR 0\n";
  text += "XSDRSIZE " + std::to_string(kRowBits) + "\n";
  text += "XTDOMASK " + HexVector(all) + "\n";
  text += "XSDRTDO " + HexVector(zeros) + " " + HexVector(data) + "\n";
  return text;
}

}  // namespace

std::vector<uint8_t> MakeFirmwareImage(size_t size) {
  Random random;
  std::vector<uint8_t> image(size);
  size_t i = 0;
  while (i < size) {
    // About one stretch in eight is erased space of 16 to 271 bytes.
    const bool erased = random.Below(8) == 0;
    const size_t stretch = erased ? 16 + random.Below(256) : 64 + random.Below(1024);
    for (size_t end = std::min(size, i + stretch); i < end; ++i) {
      image[i] = erased ? 0xFF : random.NextByte();
    }
  }
  return image;
}

std::string BenchmarkProgramText(size_t commands) {
  const size_t fixed = kHeaderCommands + kTrailerCommands;
  const size_t rows = commands > fixed + kCommandsPerRow ? (commands - fixed) / kCommandsPerRow : 1;
  Random random;
  std::string text = Header();
  for (size_t row = 0; row < rows; ++row) text += Row(row, random);
  text += "XCOMPLETE\n";
  return text;
}

std::vector<uint8_t> BenchmarkProgram(size_t commands) {
  std::vector<uint8_t> program;
  std::string error;
  if (!AssembleXsvfText(BenchmarkProgramText(commands), &program, &error)) {
    throw std::logic_error("benchmark program does not assemble: " + error);
  }
  return program;
}
