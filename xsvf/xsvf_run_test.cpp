#include "xsvf/xsvf_run.h"

#include <gmock/gmock.h>

#include <algorithm>
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
  EXPECT_EQ(Commands(), "BF");
  EXPECT_EQ(payloads[0].size(), 15u);  // TMS raised, then the reset sequence
  EXPECT_EQ(progressReports, 1);  // after the one command

  payloads.clear();
  host.stepFrames = StepFrames::OnePerStep;
  LoadProgram("XCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(Commands(), "BBBBBBBF");
  EXPECT_EQ(payloads[0], (std::vector<uint8_t>{'B', 0x10}));  // TMS raised first
}

// The log is the same whichever way the steps travel.
TEST_F(XsvfRunTest, FailingRunLogsEveryLineOfItsCommands) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? 0x99 : 0x11; };
  capturedTdo = {0x35};
  for (const StepFrames stepFrames : {StepFrames::Batched, StepFrames::OnePerStep}) {
  payloads.clear();
  host.stepFrames = stepFrames;
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
  EXPECT_EQ(Commands(), stepFrames == StepFrames::Batched ? "BSRBF"
                                                          : "BBBBBBB" "BBBB" "S" "R" "BB" "F");
  }
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
  EXPECT_EQ(Commands(), "B");  // the reset's steps, but no closing 'F'
  EXPECT_EQ(TmsSteps(), "111111");
}

TEST_F(XsvfRunTest, DeviceFallingSilentMidShiftEndsWithoutClosingCommand) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? kSilent : 0x11; };
  LoadProgram("XSDRSIZE 8\nXSDRTDO 0x01 0x02\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfNoReply);
  EXPECT_THAT(Commands(), EndsWith("S"));
  EXPECT_THAT(ReadLog(), EndsWith("ERROR:  Unknown\r\nERROR at or near XSVF command #2.  "
                                  "See line #2 in the XSVF ASCII file.\r\n"));
}

// A frame that carries the steps of several moves fails as any frame does.
TEST_F(XsvfRunTest, LinkFailureInAFrameOfManyStepsEndsTheRunWithItsCode) {
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'B' ? kSilent : 0x11; };
  LoadProgram("XSTATE DRPAUSE\nXSTATE IRPAUSE\nXSDRSIZE 8\nXSDRB 0x12\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfNoReply);
  EXPECT_EQ(Commands(), "B");  // the steps up to the shift; nothing after them
  EXPECT_EQ(TmsSteps(), "111111" "01010" "1111010" "11100");
  EXPECT_THAT(ReadLog(), EndsWith("ERROR:  Unknown\r\nERROR at or near XSVF command #4.  "
                                  "See line #4 in the XSVF ASCII file.\r\n"));
}

TEST_F(XsvfRunTest, CancelSeenAfterTheLastCommandWins) {
  // The flag is set while the reset sequence runs, before XCOMPLETE is read.
  host.stepFrames = StepFrames::OnePerStep;
  reply = [this](const std::vector<uint8_t>&) {
    if (payloads.size() == 7) cancelRequested = true;
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

// A comment that would clear the screen and print a verdict on a line of its own
// is shown, not obeyed; its text reaches a sink of the update's own unchanged.
TEST_F(XsvfRunTest, CommentsOnStandardOutputShowTheirControls) {
  const std::string program =
      "XCOMMENT \"\\x1b[2J\\rAll 3 targets verified OK\\n\\xe4\"\nXCOMPLETE\n";
  LoadProgram(program);
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(comments, "\x1b[2J\rAll 3 targets verified OK\n\xe4\n");
  host.comment = nullptr;
  LoadProgram(program);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Play(), XsvfOk);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            " \\x1b[2J\\x0dAll 3 targets verified OK\\x0a\\xe4\n");
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
  EXPECT_EQ(XsvfErrorOfLink(LinkError::LevelsRefused), 14);
  EXPECT_EQ(XsvfErrorOfLink(LinkError::WaitRefused), 14);
}

// A device that refuses a wait (so an erase time was never waited) or TAP steps
// ends the run at that command, whatever follows; its JTAG work is still closed.
TEST_F(XsvfRunTest, RefusedWaitOrStepsEndTheRunWithTheirOwnCode) {
  const std::string refusedAt2 =
      "ERROR:  Target refused a TAP step or a wait\r\n"
      "ERROR at or near XSVF command #2.  See line #2 in the XSVF ASCII file.\r\n";
  const char* const program = "XRUNTEST 0\nXWAIT RUNTEST/IDLE RUNTEST/IDLE 1000\nXCOMPLETE\n";
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'T' ? 0x44 : 0x11; };
  LoadProgram(program);
  EXPECT_EQ(Play(), XsvfRefused);
  EXPECT_THAT(ReadLog(), EndsWith(refusedAt2));
  EXPECT_EQ(Commands(), "BTF");

  // The step to RUNTEST/IDLE (TMS low) is refused: batched it travels with the
  // reset in front of the wait, one step per frame alone; the run ends at the
  // same command either way, and the wait never goes out.
  reply = [](const std::vector<uint8_t>& payload) {
    const bool tmsLow = std::find(payload.begin() + 1, payload.end(), 0x00) != payload.end();
    return payload[0] == 'B' && tmsLow ? 0x44 : 0x11;
  };
  for (const StepFrames stepFrames : {StepFrames::Batched, StepFrames::OnePerStep}) {
    payloads.clear();
    host.stepFrames = stepFrames;
    LoadProgram(program);
    EXPECT_EQ(Play(), XsvfRefused);
    EXPECT_THAT(ReadLog(), EndsWith(refusedAt2));
    EXPECT_THAT(Commands(), EndsWith("BF"));
    EXPECT_TRUE(PayloadsOf('T').empty());
  }
}

// A run that passed stays a pass when its end is not confirmed, but the host
// hears of it; a run that failed has its own message already.
TEST_F(XsvfRunTest, EndNotConfirmedAfterAPassIsReported) {
  int reported = 0;
  host.endNotConfirmed = [&reported] { ++reported; };
  const std::pair<int, int> endReplies[] = {{0x44, 0}, {0x11, 1}, {kSilent, 1}};
  for (const auto& [endReply, expected] : endReplies) {
    reported = 0;
    reply = [endReply](const std::vector<uint8_t>& payload) {
      return payload[0] == 'F' ? endReply : 0x11;
    };
    LoadProgram("XCOMPLETE\n");
    EXPECT_EQ(Play(), XsvfOk);
    EXPECT_EQ(reported, expected) << endReply;
  }

  reported = 0;
  reply = [](const std::vector<uint8_t>& payload) { return payload[0] == 'S' ? 0x99 : 0x11; };
  LoadProgram("XSDRSIZE 4\nXSDRTDO 0x03 0x05\nXCOMPLETE\n");
  EXPECT_EQ(Play(), XsvfTdoMismatch);
  EXPECT_EQ(reported, 0);
}

}  // namespace
