#include "sim/xsvf_scans.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "xsvf/xsvf_text.h"

namespace {

using Bits = std::vector<bool>;

Bits NumberBits(size_t width, uint64_t value) {
  Bits bits(width);
  for (size_t i = 0; i < width && i < 64; ++i) bits[i] = (value >> i) & 1;
  return bits;
}

std::vector<XsvfScan> ScansOfText(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(AssembleXsvfText(text, &bytes, &error)) << error;
  std::vector<XsvfScan> scans;
  EXPECT_TRUE(DescribeScans(bytes, &scans, &error)) << error;
  return scans;
}

std::vector<XsvfScan> ScansOfFile(const std::string& name) {
  std::ifstream in(std::string(UPD_SOURCE_DIR) + "/testdata/xsvf/" + name, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<XsvfScan> scans;
  std::string error;
  EXPECT_TRUE(DescribeScans(bytes, &scans, &error)) << name << ": " << error;
  return scans;
}

size_t CountOf(const std::vector<XsvfScan>& scans, ScanKind kind) {
  return std::count_if(scans.begin(), scans.end(), [kind](const XsvfScan& s) { return s.kind == kind; });
}

const XsvfScan* ScanOfCommand(const std::vector<XsvfScan>& scans, size_t command) {
  for (const XsvfScan& scan : scans) {
    if (scan.command == command) return &scan;
  }
  return nullptr;
}

TEST(XsvfScansTest, IncrementingScansAdvanceTheAddressAndMergeTheData) {
  const auto scans = ScansOfText(
      "XSDRSIZE 16\n"
      "XSETSDRMASKS 0x0100 0x000f\n"
      "XSDRINC 0xff05 0x0a 0x03\n"
      "XSETSDRMASKS 0x0000 0x8421\n"        // data bits spread over the vector
      "XSDRINC 0x0000 0x0b\n"
      "XCOMPLETE\n");
  ASSERT_EQ(scans.size(), 5u);
  EXPECT_EQ(scans[0].tdi, NumberBits(16, 0xff05));
  EXPECT_EQ(scans[1].tdi, NumberBits(16, 0x000a));  // address carry dropped
  EXPECT_EQ(scans[2].tdi, NumberBits(16, 0x0103));
  EXPECT_EQ(scans[4].tdi, NumberBits(16, 0x8021));  // 1011 into bits 0, 5, 10, 15
  EXPECT_EQ(scans[2].command, 3u);
}

TEST(XsvfScansTest, RealProgramsDescribeTheirKnownScans) {
  const auto erase = ScansOfFile("cpld64_erase.xsvf");
  EXPECT_EQ(CountOf(erase, ScanKind::Instruction), 11u);
  EXPECT_EQ(CountOf(erase, ScanKind::Data), 3u);
  const XsvfScan* idcode = ScanOfCommand(erase, 10);
  ASSERT_NE(idcode, nullptr);
  EXPECT_EQ(idcode->tdi, Bits(32));
  EXPECT_EQ(idcode->tdo, NumberBits(32, 0xf6e5f093));
  EXPECT_EQ(idcode->mask, NumberBits(32, 0x0fff8fff));
  const XsvfScan* last = ScanOfCommand(erase, 65);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->mask, Bits(1));

  const auto cpld36 = ScansOfFile("cpld36_program.xsvf");
  EXPECT_EQ(CountOf(cpld36, ScanKind::Data), 3358u);

  const auto chain = ScansOfFile("fpga_chain_config.xsvf");
  const XsvfScan* chainId = ScanOfCommand(chain, 10);
  ASSERT_NE(chainId, nullptr);
  EXPECT_EQ(chainId->tdo, NumberBits(33, 0x1e2828126));  // through the other device's bypass bit
  EXPECT_EQ(chainId->mask, NumberBits(33, 0x1ffffffe));
  const XsvfScan* chainConfig = ScanOfCommand(chain, 24);
  ASSERT_NE(chainConfig, nullptr);
  EXPECT_EQ(chainConfig->tdi.size(), 1047808u);

  const auto fpga = ScansOfFile("fpga_config.xsvf");
  const XsvfScan* config = ScanOfCommand(fpga, 26);
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->tdi.size(), 2727136u);
  EXPECT_EQ(CountOf(fpga, ScanKind::Data), 5u);
}

TEST(XsvfScansTest, ProgramsThatCannotBeReadSayWhere) {
  const struct {
    std::vector<uint8_t> bytes;
    const char* error;
  } cases[] = {
      {{}, "command #1 at byte 0: the program ends without XCOMPLETE"},
      {{0x08, 0x00, 0x00, 0x00, 0x08, 0x03}, "command #2 at byte 5: the program ends within its command"},
      {{0x07, 0x01, 0x05}, "command #2 at byte 2: unknown command code 5"},
      {{0x16, 'a', 'b'}, "command #1 at byte 0: the program ends within its command"},
  };
  for (const auto& c : cases) {
    std::vector<XsvfScan> scans;
    std::string error;
    EXPECT_FALSE(DescribeScans(c.bytes, &scans, &error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
