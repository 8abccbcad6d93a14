#include "xsvf/xsvf_program.h"

#include <gmock/gmock.h>

#include "xsvf/xsvf_interpreter.h"
#include "xsvf/xsvf_text.h"

namespace {

using ::testing::ElementsAre;

std::vector<uint8_t> Assemble(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(AssembleXsvfText(text, &bytes, &error)) << error;
  return bytes;
}

TEST(XsvfProgramTest, CutsOperandsIntoTheirFields) {
  const std::vector<uint8_t> bytes = Assemble(
      "XSIR 6 0x09\n"
      "XSDRSIZE 12\n"
      "XSETSDRMASKS 0x0001 0x0f0f\n"
      "XSDRINC 0x1234 0x01 0x02 0x03\n"
      "XWAIT DRPAUSE RUNTEST/IDLE 20\n"
      "XCOMMENT \"hi\"\n"
      "XCOMPLETE\n"
      ".bytes 0x0a0b\n");
  XsvfProgram program;
  std::string error;
  ASSERT_TRUE(ParseXsvfProgram(bytes.data(), bytes.size(), &program, &error)) << error;
  ASSERT_EQ(program.commands.size(), 7u);
  EXPECT_THAT(program.commands[0].fieldSizes, ElementsAre(1u, 1u));
  EXPECT_THAT(program.commands[2].fieldSizes, ElementsAre(2u, 2u));
  // The data mask has 8 bits set: one byte per piece.
  EXPECT_THAT(program.commands[3].fieldSizes, ElementsAre(2u, 1u, 1u, 1u, 1u));
  EXPECT_THAT(program.commands[4].fieldSizes, ElementsAre(1u, 1u, 4u));
  EXPECT_THAT(program.commands[5].operands, ElementsAre('h', 'i', 0));
  EXPECT_EQ(program.commands[6].code, XCOMPLETE);
  EXPECT_EQ(program.commands[6].offset, bytes.size() - 3);
  EXPECT_THAT(program.trailing, ElementsAre(0x0a, 0x0b));
}

TEST(XsvfProgramTest, NamesWhereAndWhyAProgramCannotBeRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"Reserved5\n", "command #1 at byte offset 0: unsupported command code 5 (Reserved5)"},
      {"XREPEAT 1\n.bytes 0x18\n",
       "command #2 at byte offset 2: unsupported command code 24 (Unknown)"},
      {"XSDRSIZE 16\n.bytes 0x0301\n",
       "command #2 at byte offset 5: the operands run past the end of the program"},
      {"XSDRSIZE 56001\n", "command #1 at byte offset 0: the data length exceeds the vector limit"},
      {"XSDRSIZE 0x80000000\n",
       "command #1 at byte offset 0: the data length exceeds the vector limit"},
      {"XSIR2 56001 0x\n",
       "command #1 at byte offset 0: the instruction length exceeds the vector limit"},
      {".bytes 0x1641\n", "command #1 at byte offset 0: the comment has no terminating 0 byte"},
      {"XREPEAT 1\n", "command #2 at byte offset 2: the program ends without XCOMPLETE"},
  };
  for (const auto& [text, expected] : cases) {
    const std::vector<uint8_t> bytes = Assemble(text);
    XsvfProgram program;
    std::string error;
    EXPECT_FALSE(ParseXsvfProgram(bytes.data(), bytes.size(), &program, &error)) << text;
    EXPECT_EQ(error, expected);
    // The commands before the failing one, then everything from its code on.
    const size_t failingOffset = program.commands.empty()
                                     ? 0
                                     : program.commands.back().offset + 1 +
                                           program.commands.back().operands.size();
    EXPECT_EQ(program.trailing, std::vector<uint8_t>(bytes.begin() + failingOffset, bytes.end()))
        << text;
  }
}

}  // namespace
