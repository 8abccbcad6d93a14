#include "xsvf/xsvf_text.h"

#include <gmock/gmock.h>

#include <sstream>

#include "testsupport/player_test_fixture.h"
#include "xsvf/file_bytes.h"
#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_run.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::vector<uint8_t> Assemble(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(AssembleXsvfText(text, &bytes, &error)) << error;
  return bytes;
}

std::string Line(const std::string& text, int number) {
  std::istringstream lines(text);
  std::string line;
  for (int i = 0; i < number; ++i) std::getline(lines, line);
  return line;
}

std::vector<uint8_t> CorpusFile(const char* name) {
  std::vector<uint8_t> bytes;
  const std::string path = std::string(UPD_SOURCE_DIR) + "/testdata/xsvf/" + name;
  EXPECT_TRUE(ReadFileBytes(path, &bytes)) << name;
  return bytes;
}

const char* const kCorpus[] = {"cpld64_erase.xsvf", "cpld64_program.xsvf",
                               "cpld36_program.xsvf", "fpga_chain_config.xsvf",
                               "fpga_config.xsvf"};

// Every command that plays, in the form the listing writes it.
const char kEveryCommand[] =
    "XREPEAT 32\n"
    "XRUNTEST 4294967295\n"
    "XSDRSIZE 12\n"
    "XTDOMASK 0x0fff\n"
    "XSIR 6 0x3f\n"
    "XSIR2 260 0x000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20\n"
    "XSDR 0x0123\n"
    "XSDRTDO 0x0000 0x0abc\n"
    "XSETSDRMASKS 0x0100 0x00ff\n"
    "XSDRINC 0x0001 0x7f 0x80\n"
    "XSDRINC 0x0001\n"
    "XSDRB 0x0001\n"
    "XSDRC 0x0002\n"
    "XSDRE 0x0003\n"
    "XSDRTDOB 0x0001 0x0101\n"
    "XSDRTDOC 0x0002 0x0202\n"
    "XSDRTDOE 0x0003 0x0303\n"
    "XSTATE IRPAUSE\n"
    "XSTATE 200\n"
    "XENDIR 1\n"
    "XENDDR 0\n"
    "XCOMMENT \"a \\\"b\\\" \\\\ #c\\n\\xff\\x01\"\n"
    "XWAIT DRPAUSE RUNTEST/IDLE 10000\n"
    "XCOMPLETE\n";

TEST(XsvfTextTest, ListingOfEveryCommandAssemblesBackToItself) {
  const std::vector<uint8_t> bytes = Assemble(kEveryCommand);
  EXPECT_EQ(ListXsvfProgram(bytes), kEveryCommand);
}

TEST(XsvfTextTest, ProgramsThatDoNotPlayStillRoundTrip) {
  const std::pair<const char*, const char*> cases[] = {
      {"XREPEAT 1\nReserved5\nXCOMPLETE\n",
       "XREPEAT 1\n.bytes 0x0500  # command #2 at byte offset 2: unsupported command code 5 "
       "(Reserved5)\n"},
      {"Reserved6\n",
       ".bytes 0x06  # command #1 at byte offset 0: unsupported command code 6 (Reserved6)\n"},
      {".bytes 0x18\n",
       ".bytes 0x18  # command #1 at byte offset 0: unsupported command code 24 (Unknown)\n"},
      {"XREPEAT 1\n",
       "XREPEAT 1\n# command #2 at byte offset 2: the program ends without XCOMPLETE\n"},
      {"xcomplete # lower case\n.bytes 0a 0b\n",
       "XCOMPLETE\n# after XCOMPLETE, never played:\n.bytes 0x0a0b\n"},
  };
  for (const auto& [text, listing] : cases) {
    const std::vector<uint8_t> bytes = Assemble(text);
    EXPECT_EQ(ListXsvfProgram(bytes), listing);
    EXPECT_EQ(Assemble(ListXsvfProgram(bytes)), bytes) << text;
  }
}

TEST(XsvfTextTest, CorpusProgramsRoundTrip) {
  for (const char* name : kCorpus) {
    const std::vector<uint8_t> bytes = CorpusFile(name);
    ASSERT_FALSE(bytes.empty()) << name;
    const std::string listing = ListXsvfProgram(bytes);
    EXPECT_THAT(listing, Not(HasSubstr("# command #"))) << name;  // every one reads cleanly
    EXPECT_EQ(Assemble(listing), bytes) << name;
  }
}

// A vector shorter than its size keeps its value: zeros go in front.
TEST(XsvfTextTest, AssemblerPadsShortVectorsToTheirSize) {
  EXPECT_EQ(Assemble("XSDRSIZE 16\nXSDR 0x1\nXSIR 12 0x5\nXCOMPLETE\n.bytes 0x0102\n"),
            (std::vector<uint8_t>{8, 0, 0, 0, 16, 3, 0x00, 0x01, 2, 12, 0x00, 0x05, 0, 1, 2}));
}

TEST(XsvfTextTest, AssemblerNamesTheLineOfEachMistake) {
  const std::pair<std::string, const char*> cases[] = {
      {"XREPEAT 1\n\nXSDRFOO 1\n", "line 3: unknown command \"XSDRFOO\""},
      {"XSDR 0x12g4\n", "line 1: \"0x12g4\" is not a hex vector"},
      {"XREPEAT 256\n", "line 1: \"256\" is not a number from 0 to 255"},
      {"XRUNTEST 4294967296\n", "line 1: \"4294967296\" is not a number from 0 to 4294967295"},
      {"XWAIT DRPAUSE 1\n", "line 1: too few operands"},
      {"XSTATE NOWHERE\n", "line 1: \"NOWHERE\" is not a TAP state"},
      // Bytes of a binary file show escaped, the quotes closed, long ones cut short.
      {"\xf9\xb3\x01\"x\n", "line 1: unknown command \"\\xf9\\xb3\\x01\\\"x\""},
      {std::string(50, 'A') + "\n",
       "line 1: unknown command \"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\"..."},
      // A vector the player would read otherwise than written.
      {"XSDRSIZE 8\nXSDR 0x0000\nXRUNTEST 5\nXCOMPLETE\n",
       "line 2: vector \"0x0000\" is longer than its size, XSDRSIZE 8 (1 byte)"},
      {"XSDR 0x01\n", "line 1: vector \"0x01\" is longer than its size, no XSDRSIZE yet (0 bytes)"},
      {"XSDRSIZE 12\nXSDRTDO 0x0fff 0x10000\n",
       "line 2: vector \"0x10000\" is longer than its size, XSDRSIZE 12 (2 bytes)"},
      {"XSIR 5 0x123\n", "line 1: vector \"0x123\" is longer than its size, XSIR 5 bits (1 byte)"},
      {"XSDRSIZE 16\nXSETSDRMASKS 0xff00 0x0101\nXSDRINC 0x0000 0x01 0x0102\n",
       "line 3: vector \"0x0102\" is longer than its size, the 2 bits of the XSETSDRMASKS data "
       "mask (1 byte)"},
      {"XCOMPLETE\nXRUNTEST 5\n",
       "line 2: XRUNTEST after XCOMPLETE would never be played (bytes after the end go in .bytes)"},
      {"XCOMMENT \"a\\x00b\"\n", "line 1: comment text must be quoted and hold no 0 byte"},
      {"XCOMMENT \"open\n", "line 1: text without closing quote"},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(AssembleXsvfText(text, &bytes, &error)) << text;
    EXPECT_EQ(error, expected);
  }
}

using XsvfListingTest = PlayerTest;

// The debug log's "See line #N" points at the failing command in the listing.
TEST_F(XsvfListingTest, LogLineNumberPointsAtTheFailingCommand) {
  int compared = 0;
  reply = [&compared](const std::vector<uint8_t>& payload) {
    const bool compare = payload[0] == 'S' && (payload[1] & 0x01) != 0;
    return compare && ++compared == 2 ? 0x99 : 0x11;
  };
  const std::vector<uint8_t> program = CorpusFile("cpld64_erase.xsvf");
  LoadProgram(program);
  EXPECT_EQ(Play(), XsvfTdoMismatch);
  const std::string log = ReadLog();
  const std::string marker = "See line #";
  const size_t at = log.find(marker);
  ASSERT_NE(at, std::string::npos);
  const int line = std::stoi(log.substr(at + marker.size()));
  EXPECT_EQ(line, 13);
  EXPECT_EQ(Line(ListXsvfProgram(program), line), "XSDRTDO 0x00000000 0xf6e5f093");
}

}  // namespace
