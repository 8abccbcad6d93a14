#include "xsvf/xsvf_run.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "testsupport/player_test_fixture.h"
#include "xsvf/xsvf_interpreter.h"

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kLogStart =
    "Start der Aufzeichnung\r\r\n\r\r\n"
    "    sizeof( SXsvfInfo ) = " + std::to_string(sizeof(SXsvfInfo)) + " bytes\r\n"
    "   TMS Reset Sequence -> Test-Logic-Reset\r\n"
    "   TAP State = RESET\r\n";

using XsvfRunTest = PlayerTest;

TEST_F(XsvfRunTest, ProgramOfOnlyXCompleteSucceeds) {
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(ReadLog(), kLogStart + "  XCOMPLETE\r\nSUCCESS - Completed XSVF execution.\r\n");
  EXPECT_EQ(Commands(), "BBBBBBBF");
  EXPECT_EQ(payloads[0], (std::vector<uint8_t>{'B', 0x10}));  // TMS raised first
  EXPECT_EQ(progressReports, 1);  // after the one command
}

TEST_F(XsvfRunTest, FailingRunLogsEveryLineOfItsCommands) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? 0x99 : 0x11; };
  capturedTdo = {0x35};
  LoadProgram("XSDRSIZE 4\nXTDOMASK 0x0f\nXSDRTDO 0x03 0x05\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfTdoMismatch);
  EXPECT_EQ(ReadLog(), kLogStart +
                           "  XSDRSIZE\r\n"
                           "   XSDRSIZE = 4\r\n"
                           "  XTDOMASK\r\n"
                           "    TDO Mask     = 0x0f\r\n"
                           "  XSDRTDO\r\n"
                           "   Shift Length = 4\r\n"
                           "    TDI          = 0x03\r\n"
                           "    TDO Expected = 0x05\r\n"
                           "   TAP State = RUNTEST/IDLE\r\n"
                           "   TAP State = DRSELECT\r\n"
                           "   TAP State = DRCAPTURE\r\n"
                           "   TAP State = DRSHIFT\r\n"
                           "   TAP State = DREXIT1\r\n"
                           "   TAP State = DRUPDATE\r\n"
                           "   TAP State = RUNTEST/IDLE\r\n"
                           " TDO Expected = 0x05\r\n"
                           " TDO Captured = 0x35\r\n"
                           " TDO Mask     = 0x0f\r\n"
                           "ERROR:  TDO mismatch\r\n"
                           "ERROR at or near XSVF command #3.  See line #3 in the XSVF ASCII "
                           "file.\r\n");
  EXPECT_EQ(Commands(), "BBBBBBB" "BBBB" "S" "R" "BB" "F");
}

TEST_F(XsvfRunTest, UnsupportedCodesEndTheRunWithTheirName) {
  LoadProgram("XREPEAT 1\nReserved5\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfUnsupported);
  EXPECT_THAT(ReadLog(), EndsWith("  Reserved5\r\n"
                                  "ERROR:  Encountered unsupported command #5 (Reserved5)\r\n"
                                  "ERROR:  Unsupported XSVF command\r\n"
                                  "ERROR at or near XSVF command #2.  See line #2 in the XSVF "
                                  "ASCII file.\r\n"));
  EXPECT_THAT(Commands(), EndsWith("F"));

  LoadProgram(".bytes 0x18 0x00\n");
  EXPECT_EQ(Play(), XsvfUnsupported);
  EXPECT_THAT(ReadLog(), HasSubstr("   TAP State = RESET\r\n"
                                   "ERROR:  Encountered unsupported command #24 (Unknown)\r\n"));
}

TEST_F(XsvfRunTest, ProgramEndingWithoutXCompleteIsAReadError) {
  LoadProgram("XCOMMENT \"no end\"\n");
  EXPECT_EQ(Play(), XsvfProgramEnded);
  EXPECT_THAT(ReadLog(), EndsWith("ERROR:  Unknown\r\nERROR at or near XSVF command #1.  "
                                  "See line #1 in the XSVF ASCII file.\r\n"));
  EXPECT_EQ(Commands(), "BBBBBBB");  // no closing 'F'
}

TEST_F(XsvfRunTest, DeviceFallingSilentMidShiftEndsWithoutClosingCommand) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? kSilent : 0x11; };
  LoadProgram("XSDRSIZE 8\nXSDRTDO 0x01 0x02\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfNoReply);
  EXPECT_THAT(Commands(), EndsWith("S"));
  EXPECT_THAT(ReadLog(), EndsWith("ERROR:  Unknown\r\nERROR at or near XSVF command #2.  "
                                  "See line #2 in the XSVF ASCII file.\r\n"));
}

TEST_F(XsvfRunTest, CancelSeenAfterTheLastCommandWins) {
  // The flag is set while the reset sequence runs, before XCOMPLETE is read.
  reply = [this](const std::vector<uint8_t>&) {
    if (payloads.size() == 7) cancelRequested = 1;
    return 0x11;
  };
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfCancelled);
  EXPECT_EQ(Commands(), "BBBBBBBF");
  EXPECT_THAT(ReadLog(), EndsWith("  XCOMPLETE\r\nERROR:  Unknown\r\nERROR at or near XSVF "
                                  "command #1.  See line #1 in the XSVF ASCII file.\r\n"));
}

TEST_F(XsvfRunTest, LinkFailureOnTheClosingCommandKeepsTheRunsResult) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'F' ? kSilent : 0x11; };
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
}

// The device may have been switched off between runs: the first shift of every
// run carries its vectors again.
TEST_F(XsvfRunTest, EveryRunStartsWithAnEmptyShiftCache) {
  LoadProgram("XSDRSIZE 8\nXSDRB 0x12\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  LoadProgram("XSDRSIZE 8\nXSDRB 0x12\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  const auto shifts = PayloadsOf('S');
  ASSERT_EQ(shifts.size(), 2u);
  EXPECT_EQ(shifts[1], shifts[0]);
  EXPECT_EQ(shifts[1][1] & 0x08, 0x08);
}

TEST_F(XsvfRunTest, CommentsGoToTheCommentSinkNotTheLog) {
  LoadProgram("XCOMMENT \"erase\"\nXCOMMENT \"program\"\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(comments, "erase\nprogram\n");
  EXPECT_THAT(ReadLog(), Not(HasSubstr("erase")));
}

TEST_F(XsvfRunTest, XWaitInAStateItCannotReachStopsBeforeTheWait) {
  for (const char* program : {"XWAIT 16 RUNTEST/IDLE 5\nXCOMPLETE\n",
                              "XWAIT RUNTEST/IDLE DREXIT2 5\nXCOMPLETE\n"}) {
    LoadProgram(program);
    EXPECT_EQ(Play(), XsvfIllegalState) << program;
    EXPECT_TRUE(Waits().empty()) << program;
  }
  EXPECT_THAT(ReadLog(), HasSubstr("   XWAIT:  state = RUNTEST/IDLE; time = 5\r\n"));
}

TEST_F(XsvfRunTest, LogThatCannotBeCreatedIsReportedWithoutTraffic) {
  std::string shown;
  host.showMessage = [&shown](const std::string& text) { shown = text; };
  std::filesystem::create_directory("blocked");  // fopen of a directory fails
  host.debugLogPath = "blocked";
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfDebugFile);
  EXPECT_THAT(shown, StartsWith("Debugdatei blocked kann nicht ge"));
  EXPECT_THAT(shown, EndsWith("ffnet werden !"));
  EXPECT_TRUE(payloads.empty());
}

TEST_F(XsvfRunTest, TheLogGoesWhereTheUpdatePutsIt) {
  host.debugLogPath = "elsewhere.txt";
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  std::FILE* file = std::fopen("elsewhere.txt", "rb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
}

TEST(XsvfErrorOfLinkTest, EachLinkFailureHasItsOwnCode) {
  EXPECT_EQ(XsvfErrorOfLink(LinkError::FrameNotWritten), 10);
  EXPECT_EQ(XsvfErrorOfLink(LinkError::NoReply), 11);
  EXPECT_EQ(XsvfErrorOfLink(LinkError::RepeatedCrc), 12);
  EXPECT_EQ(XsvfErrorOfLink(LinkError::BadReadAnswer), 13);
}

}  // namespace
