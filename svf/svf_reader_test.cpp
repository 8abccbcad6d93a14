#include "svf/svf_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/svf_test_support.h"

namespace {

TEST(SvfReader, StatementsSpanLinesAndTakeCommentsAndAnyCase) {
  EXPECT_EQ(Listing("! a comment\r\n// another\n"
                    "sir 8\n tdi\n(\n a\n5 ) ; ! after a statement\n"
                    "Sdr 8 tDi (F f)smask(ff);// and here\n"
                    "STATE\tidle;\n"),
            "XSIR 8 0xa5\nXSDRSIZE 8\nXSDRE 0xff\nXCOMPLETE\n");
  EXPECT_EQ(Listing("SIR 8 TDI (a5);//comment\nSIR 8 TDI (5a);"),
            "XSIR 8 0xa5\nXSIR 8 0x5a\nXCOMPLETE\n");
}

// "//" is a comment wherever it stands, also across the reader's 64 KiB blocks.
TEST(SvfReader, CommentsAndWordsAcrossBlocks) {
  const size_t block = 64 * 1024;
  const std::string statement = "SIR 8 TDI (a5);";
  std::string text(block - 1, ' ');
  text += "//" + statement + "\n" + statement;
  EXPECT_EQ(Listing(text), "XSIR 8 0xa5\nXCOMPLETE\n");
  std::string split(block - 2, ' ');
  split += statement;  // "SIR" runs across the boundary
  EXPECT_EQ(Listing(split), "XSIR 8 0xa5\nXCOMPLETE\n");
}

// A file from a Windows editor begins with a UTF-8 byte order mark; it used to
// be read as part of the first word. Only at the start is it no part of the SVF.
TEST(SvfReader, SkipsAByteOrderMarkAtTheStart) {
  EXPECT_EQ(Listing("\xEF\xBB\xBFSIR 8 TDI (a5);\r\n"), "XSIR 8 0xa5\nXCOMPLETE\n");
  EXPECT_EQ(Listing("\xEF\xBB\xBF"), "XCOMPLETE\n");
  EXPECT_EQ(FaultOf("\xEF\xBB\xBFSIR 8 TDI (a5) X;"), "1:16: expected TDI, TDO, MASK, SMASK or ';', found 'X'");
  EXPECT_EQ(FaultOf("SIR 8 TDI (a5);\n\xEF\xBB\xBFSIR 8 TDI (a5);"),
            "2:1: unknown statement '\\xef\\xbb\\xbfSIR'");
}

SvfRunTest ReadRunTest(const std::string& text) {
  SvfTextInput input(text);
  SvfReader reader(input);
  SvfStatement statement;
  EXPECT_EQ(reader.Next(&statement), SvfReader::Result::Statement) << reader.Fault().message;
  EXPECT_EQ(statement.command, SvfCommand::RunTest);
  EXPECT_EQ(reader.Next(&statement), SvfReader::Result::End);
  return statement.runTest;
}

TEST(SvfReader, RunTestInEveryForm) {
  SvfRunTest counted = ReadRunTest("RUNTEST 100 TCK;");
  EXPECT_FALSE(counted.runState || counted.minTime || counted.maxTime || counted.endState);
  EXPECT_EQ(counted.count->digits, 100u);
  EXPECT_FALSE(counted.systemClock);

  SvfRunTest full = ReadRunTest("runtest idle 20 sck 1.00E-02 sec maximum 2e-2 sec endstate drpause;");
  EXPECT_EQ(full.runState, TapIdle);
  EXPECT_TRUE(full.systemClock);
  EXPECT_EQ(full.count->digits, 20u);
  EXPECT_EQ(full.minTime->digits, 100u);
  EXPECT_EQ(full.minTime->exponent, -4);
  EXPECT_EQ(full.maxTime->digits, 2u);
  EXPECT_EQ(full.endState, TapDrPause);

  SvfRunTest timed = ReadRunTest("RUNTEST DRPAUSE 5E-3 SEC ENDSTATE IDLE;");
  EXPECT_EQ(timed.runState, TapDrPause);
  EXPECT_FALSE(timed.count);
  EXPECT_EQ(timed.minTime->exponent, -3);
  EXPECT_EQ(timed.endState, TapIdle);

  SvfRunTest bounded = ReadRunTest("RUNTEST 1E3 TCK MAXIMUM 1 SEC;");
  EXPECT_EQ(bounded.count->exponent, 3);
  EXPECT_TRUE(bounded.maxTime && !bounded.minTime);
}

TEST(SvfReader, RefusesMalformedStatementsWithTheirPlace) {
  const std::string stable = "a stable state (IRPAUSE, DRPAUSE, RESET or IDLE)";
  std::string longPath = "STATE";
  for (int i = 0; i < 257; ++i) longPath += i % 2 ? " DRPAUSE" : " DREXIT2";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"FOO 1;", "1:1: unknown statement 'FOO'"},
      {"\r\nSTATE IDLE;\r\n  Foo;", "3:3: unknown statement 'Foo'"},
      {"SIR\x01;", "1:1: unknown statement 'SIR\\x01'"},
      {"PIO (HLX);",
       "1:1: PIO is refused: an XSVF program drives the JTAG port only, it has no parallel I/O"},
      {"piomap (IN A);",
       "1:1: PIOMAP is refused: an XSVF program drives the JTAG port only, it has no parallel "
       "I/O"},
      {"(", "1:1: expected a statement, found '('"},
      {";", "1:1: expected a statement, found ';'"},
      {"SIR 8 TDI (01)", "1:15: expected TDI, TDO, MASK, SMASK or ';', found the end of the file"},
      {"SDR 8 TDI (01) XYZ (0);", "1:16: expected TDI, TDO, MASK, SMASK or ';', found 'XYZ'"},
      {"SIR;", "1:4: expected the length of SIR, found ';'"},
      {"SIR 8.5 TDI (1);",
       "1:5: '8.5' is not a length: a whole number of bits from 0 to 1099511627776"},
      {"HDR 1099511627777 TDI (0);",
       "1:5: '1099511627777' is not a length: a whole number of bits from 0 to 1099511627776"},
      {"SIR 8 TDI (01) TDI (02);", "1:16: TDI is given twice"},
      {"SIR 8 TDI 01;", "1:11: expected '(' after TDI, found '01'"},
      {"SDR 8 TDI (01) tdo;", "1:19: expected '(' after TDO, found ';'"},
      {"SIR 8 TDI (0x1);", "1:13: TDI holds 'x', which is not a hex digit"},
      {"SIR 8 MASK (0 !1);", "1:15: MASK holds '!', which is not a hex digit"},
      {"SIR 8 TDI (1ff);", "1:12: TDI sets bit 8, beyond the 8 bits of the scan"},
      {"SDR 6 SMASK (\n 0 7f);", "2:4: SMASK sets bit 6, beyond the 6 bits of the scan"},
      {"SDR 60000 TDI (1);",
       "1:15: TDI gives 1 of the 15000 hex digits of its 60000-bit scan: a scan this long must be "
       "written out in full"},
      {"SIR 8 TDI (0\n1", "1:11: the file ends inside the vector of TDI"},
      {"ENDIR DRSHIFT;", "1:7: ENDIR needs " + stable + ", not DRSHIFT"},
      {"ENDDR PAUSE;", "1:7: 'PAUSE' is not a TAP state"},
      {"ENDDR;", "1:6: expected " + stable + ", found ';'"},
      {"ENDDR IDLE IDLE;", "1:12: expected ';', found 'IDLE'"},
      {"STATE;", "1:1: STATE needs at least one state"},
      {"STATE IDLE (", "1:12: expected a TAP state or ';', found '('"},
      {"STATE IDLE DRSELECT;", "1:12: STATE must end in " + stable + ", not DRSELECT"},
      {longPath + ";", "1:1: a STATE path of more than 256 states"},
      {"RUNTEST;", "1:8: expected a clock count or a time, found ';'"},
      {"RUNTEST IDLE;", "1:13: expected a clock count or a time, found ';'"},
      {"RUNTEST 10 CLOCKS;", "1:12: expected TCK, SCK or SEC, found 'CLOCKS'"},
      {"RUNTEST 1.5 TCK;", "1:9: a clock count must be a whole number"},
      {"RUNTEST ten TCK;", "1:9: 'ten' is not a number"},
      {"RUNTEST 10 TCK 1E-3;", "1:20: expected SEC after the minimum time, found ';'"},
      {"RUNTEST 1E-3 SEC MAXIMUM 2;", "1:27: expected SEC after the maximum time, found ';'"},
      {"RUNTEST 1E-3 SEC MAXIMUM;", "1:25: expected a maximum time, found ';'"},
      {"RUNTEST DRSHIFT 10 TCK;", "1:9: RUNTEST needs " + stable + ", not DRSHIFT"},
      {"RUNTEST 10 TCK ENDSTATE DREXIT1;", "1:25: ENDSTATE needs " + stable + ", not DREXIT1"},
      {"RUNTEST 10 TCK IDLE;", "1:16: expected ';', found 'IDLE'"},
      {"FREQUENCY 1E6;", "1:14: expected HZ after the frequency, found ';'"},
      {"FREQUENCY 0 HZ;", "1:11: FREQUENCY must be above 0 HZ"},
      {"FREQUENCY 1.2.3 HZ;", "1:11: '1.2.3' is not a number"},
      {"TRST MAYBE;", "1:6: expected ON, OFF, Z or ABSENT, found 'MAYBE'"},
      {"SIR " + std::string(300, '1'), "1:5: a word longer than 256 characters"},
  };
  for (const auto& [svf, fault] : cases) {
    SCOPED_TRACE(svf.substr(0, 60));
    EXPECT_EQ(FaultOf(svf), fault);
  }
}

// After a fault the reader reads nothing more.
TEST(SvfReader, StopsAtTheFirstFault) {
  const std::string text = "FOO;\nSIR 8 TDI (01);\n";
  SvfTextInput input(text);
  SvfReader reader(input);
  SvfStatement statement;
  EXPECT_EQ(reader.Next(&statement), SvfReader::Result::Fault);
  EXPECT_EQ(reader.Next(&statement), SvfReader::Result::Fault);
  EXPECT_EQ(reader.Fault().at.line, 1u);
}

// An input that cannot be read is a fault without a place.
class FailingInput : public SvfInput {
 public:
  int64_t ReadAt(uint64_t, char*, size_t) override { return -1; }
};

TEST(SvfReader, AnUnreadableInputIsAFault) {
  FailingInput input;
  XsvfBytesOutput output;
  const SvfConversion conversion = ConvertSvf(input, output);
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.fault.Describe("a.svf"), "a.svf: cannot be read");
}

}  // namespace
