#include "svf/svf_converter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "sim/xsvf_scans.h"
#include "testsupport/svf_test_support.h"
#include "xsvf/xsvf_program.h"

namespace {

TEST(SvfConverter, ScanParametersPersistUntilGivenAgainAndTdoOnlyWhereGiven) {
  EXPECT_EQ(Listing("SIR 8 TDI (a5);\n"
                    "SDR 16 TDI (1234);\n"                  // compared nowhere
                    "SDR 16 TDO (00ff) MASK (0f0f);\n"      // TDI kept
                    "SDR 16 TDI (5678) TDO (00ff);\n"       // MASK kept, expected held
                    "SDR 16 TDI (5678);\n"                  // no TDO: nothing compared
                    "SDR 8 TDI (01) TDO (01);\n"),          // new length: MASK all ones
            "XSIR 8 0xa5\n"
            "XSDRSIZE 16\n"
            "XSDRE 0x1234\n"
            "XTDOMASK 0x0f0f\n"
            "XSDRTDO 0x1234 0x00ff\n"
            "XSDR 0x5678\n"
            "XSDRE 0x5678\n"
            "XSDRSIZE 8\n"
            "XTDOMASK 0xff\n"
            "XSDRTDO 0x01 0x01\n"
            "XCOMPLETE\n");
}

// Only XTDOMASK changes the player's mask and only a compared command its
// expected TDO: scans of other lengths in between leave them in place.
TEST(SvfConverter, MaskAndExpectedTdoServeLaterScansOfTheirLength) {
  EXPECT_EQ(Listing("SDR 8 TDI (01) TDO (81);\n"
                    "SDR 4 TDI (1);\n"
                    "SDR 8 TDI (02) TDO (81);\n"),
            "XSDRSIZE 8\n"
            "XTDOMASK 0xff\n"
            "XSDRTDO 0x01 0x81\n"
            "XSDRSIZE 4\n"
            "XSDRE 0x01\n"
            "XSDRSIZE 8\n"
            "XSDR 0x02\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, HeadersAndTrailersFoldIntoEveryScanHeaderFirst) {
  EXPECT_EQ(Listing("HIR 2 TDI (3);\nTIR 3 TDI (7);\n"
                    "SIR 4 TDI (a);\n"  // 111 1010 11
                    "HDR 1 TDI (0) TDO (1);\nTDR 2 TDI (0);\n"
                    "SDR 4 TDI (f) TDO (5);\n"  // tdi 00 1111 0, expected 00 0101 1
                    "SDR 4 TDI (0);\n"          // the header's TDO is still compared
                    "HDR 0;\nTDR 0;\nHIR 0;\nTIR 0;\n"
                    "SDR 4 TDI (f);\nSIR 4 TDI (a);\n"),
            "XSIR 9 0x01eb\n"
            "XSDRSIZE 7\n"
            "XTDOMASK 0x1f\n"
            "XSDRTDO 0x1e 0x0b\n"
            "XTDOMASK 0x01\n"
            "XSDRTDO 0x00 0x01\n"
            "XSDRSIZE 4\n"
            "XSDRE 0x0f\n"
            "XSIR 4 0x0a\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, ScansFromTheirRegistersPauseStateGoThroughCapture) {
  EXPECT_EQ(Listing("ENDDR DRPAUSE;\nSDR 8 TDI (01);\nSDR 8 TDI (02);\n"
                    "ENDIR IRPAUSE;\nSIR 4 TDI (1);\nSIR 4 TDI (2);\n"
                    "SDR 8 TDI (03);\n"),  // from IRPAUSE: the player's route passes Capture-DR
            "XENDDR 1\n"
            "XSDRSIZE 8\n"
            "XSDRE 0x01\n"
            "XSTATE DRCAPTURE\n"
            "XSDRE 0x02\n"
            "XENDIR 1\n"
            "XSIR 4 0x01\n"
            "XSTATE IRCAPTURE\n"
            "XSIR 4 0x02\n"
            "XSDRE 0x03\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, EndStatesOtherThanIdleAndTheRegistersPauseFollowFromPause) {
  EXPECT_EQ(Listing("ENDDR RESET;\nSDR 8 TDI (01);\n"
                    "ENDIR DRPAUSE;\nSIR 4 TDI (1);\n"
                    "ENDIR IDLE;\nSIR 4 TDI (2);\n"),
            "XENDDR 1\n"
            "XSDRSIZE 8\n"
            "XSDRE 0x01\n"
            "XSTATE RESET\n"
            "XENDIR 1\n"
            "XSIR 4 0x01\n"
            "XSTATE DRPAUSE\n"
            "XENDIR 0\n"
            "XSIR 4 0x02\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, StateFollowsStableStatesAndPathsExactly) {
  EXPECT_EQ(Listing("STATE RESET;\n"  // the player starts there
                    "STATE IDLE;\nSTATE IDLE;\n"
                    "STATE DRPAUSE;\n"
                    "STATE DREXIT2 DRSHIFT DREXIT1 DRPAUSE;\n"  // the player would skip Shift
                    "STATE DREXIT2 DRUPDATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\n"
                    "state irpause;\n"
                    "STATE IREXIT2 IRUPDATE DRSELECT DRCAPTURE DREXIT1 DRUPDATE IDLE;\n"
                    "STATE DRSELECT IRSELECT RESET;\n"),
            "XSTATE RUNTEST/IDLE\n"
            "XSTATE DRPAUSE\n"
            "XSTATE DRSHIFT\n"
            "XSTATE DRPAUSE\n"
            "XSTATE DRPAUSE\n"  // once round, through Capture
            "XSTATE IRPAUSE\n"
            "XSTATE DRUPDATE\n"
            "XSTATE RUNTEST/IDLE\n"
            "XSTATE RESET\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, RunTestWaitsInItsStatesForTheLongerOfClocksAndTime) {
  EXPECT_EQ(Listing("RUNTEST 100 TCK;\n"                   // 1 MHz without FREQUENCY
                    "FREQUENCY 2.5E6 HZ;\n"
                    "RUNTEST 1000 TCK;\n"                  // 400 us
                    "RUNTEST DRPAUSE 7 TCK;\n"             // 2.8 us, rounded up
                    "RUNTEST 1 TCK 1.00E-02 SEC;\n"        // DRPAUSE kept
                    "RUNTEST IDLE 5E-3 SEC MAXIMUM 1E-2 SEC ENDSTATE DRPAUSE;\n"
                    "RUNTEST 10 TCK;\n"                    // IDLE, then DRPAUSE, kept
                    "RUNTEST RESET 0 TCK ENDSTATE IDLE;\n" // no wait: moves only
                    "RUNTEST 20 SCK 1E-6 SEC;\n"
                    "FREQUENCY;\nRUNTEST IDLE 3 TCK;\n"),
            "XWAIT RUNTEST/IDLE RUNTEST/IDLE 100\n"
            "XWAIT RUNTEST/IDLE RUNTEST/IDLE 400\n"
            "XWAIT DRPAUSE DRPAUSE 3\n"
            "XWAIT DRPAUSE DRPAUSE 10000\n"
            "XWAIT RUNTEST/IDLE DRPAUSE 5000\n"
            "XWAIT RUNTEST/IDLE DRPAUSE 4\n"
            "XSTATE RESET\n"
            "XSTATE RUNTEST/IDLE\n"
            "XWAIT RESET RUNTEST/IDLE 1\n"
            "XWAIT RUNTEST/IDLE RUNTEST/IDLE 3\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, AWaitInIdleRightAfterAScanIsItsRunTestTime) {
  EXPECT_EQ(Listing("SDR 8 TDI (01) TDO (01);\nRUNTEST 100 TCK;\n"
                    "SDR 8 TDI (02) TDO (02);\nRUNTEST IDLE 100 TCK;\n"
                    "SIR 4 TDI (1);\nRUNTEST 50 TCK;\n"
                    "SDR 8 TDI (03) TDO (03);\n"                      // no wait
                    "ENDDR DRPAUSE;\nSDR 8 TDI (04) TDO (04);\nRUNTEST IDLE 7 TCK;\n"
                    "SDR 8 TDI (05) TDO (05);\nRUNTEST DRPAUSE 7 TCK;\n"  // waits elsewhere
                    "SDR 8 TDI (06);\nRUNTEST IDLE 7 TCK;\n"),        // compared nowhere
            "XSDRSIZE 8\n"
            "XTDOMASK 0xff\n"
            "XRUNTEST 100\n"
            "XSDRTDO 0x01 0x01\n"
            "XSDRTDO 0x02 0x02\n"
            "XRUNTEST 50\n"
            "XSIR 4 0x01\n"
            "XRUNTEST 0\n"
            "XSDRTDO 0x03 0x03\n"
            "XENDDR 1\n"
            "XRUNTEST 7\n"
            "XSDRTDO 0x04 0x04\n"
            "XRUNTEST 0\n"
            "XSDRTDO 0x05 0x05\n"
            "XWAIT DRPAUSE DRPAUSE 7\n"
            "XSTATE DRCAPTURE\n"
            "XSDRE 0x06\n"
            "XWAIT RUNTEST/IDLE RUNTEST/IDLE 7\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, TrstOnResetsWithTmsAndKeepsTheControllerThere) {
  EXPECT_EQ(Listing("STATE IDLE;\nTRST ON;\nRUNTEST RESET 100 TCK;\nHDR 0;\nTRST OFF;\n"
                    "STATE IDLE;\nTRST Z;\nTRST ABSENT;\nTRST ON;\n"),
            "XSTATE RUNTEST/IDLE\n"
            "XSTATE RESET\n"
            "XWAIT RESET RESET 100\n"
            "XSTATE RUNTEST/IDLE\n"
            "XSTATE RESET\n"
            "XCOMPLETE\n");
}

TEST(SvfConverter, NotesSayWhatTheProgramDoesOtherwise) {
  const SvfConversion conversion = ConvertText(
      "SIR 8 TDI (01);\n"
      "SIR 8 TDI (ff) TDO (01) MASK (03);\n"
      "HIR 1 TDI (1) TDO (1);\nSIR 8 TDI (ff);\n"
      "RUNTEST 5 TCK;\n");
  ASSERT_TRUE(conversion.ok);
  ASSERT_EQ(conversion.notes.size(), 2u);
  EXPECT_EQ(conversion.notes[0].Describe("a.svf"),
            "a.svf:2:1: note: instruction scans that expect TDO: 2 (the first here); XSVF cannot "
            "compare an instruction scan's TDO, so they shift without that check");
  EXPECT_EQ(conversion.notes[1].Describe("a.svf"),
            "a.svf:5:9: note: TCK counts without a FREQUENCY: 1 (the first here); they are timed "
            "at 1 MHz, 1 microsecond per clock");
  EXPECT_TRUE(ConvertText("FREQUENCY 1E6 HZ;\nRUNTEST 5 TCK;\nSIR 8 TDI (01);\n").notes.empty());
}

// ---- Long scans ----

// Random hex digits for a vector of `bits` bits, split over lines of 79.
std::string RandomVector(uint64_t bits, std::mt19937& random) {
  const char* const digits = "0123456789abcdef";
  std::string text;
  const uint64_t count = (bits + 3) / 4;
  for (uint64_t i = 0; i < count; ++i) {
    const unsigned top = i == 0 && bits % 4 != 0 ? 1u << (bits % 4) : 16u;
    text += digits[random() % top];
    if (i % 79 == 78) text += "\n ";
  }
  return text;
}

// Bit i of a vector written in hex (i = 0 is the last digit's lowest bit).
std::vector<bool> BitsOf(const std::string& hex, uint64_t bits) {
  std::string digits;
  for (char c : hex) {
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  std::vector<bool> result(bits);
  for (uint64_t i = 0; i < bits; ++i) {
    const char c = digits[digits.size() - 1 - i / 4];
    const int value = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    result[i] = (value >> (i % 4)) & 1;
  }
  return result;
}

std::vector<std::string> CommandNames(const std::vector<uint8_t>& program) {
  XsvfProgram parsed;
  std::string error;
  ParseXsvfProgram(program.data(), program.size(), &parsed, &error);
  std::vector<std::string> names;
  for (const XsvfInstruction& command : parsed.commands) {
    names.push_back(XsvfCommandName(command.code));
    if (command.code == XSDRSIZE) {
      names.back() += " " + std::to_string(BigEndianValue(command.operands.data(), 4));
    }
  }
  return names;
}

// A scan too long for one command, read back in pieces across blocks of text,
// with a header of 3 bits so that no piece lines up with the digits.
TEST(SvfConverter, LongScansAreSplitIntoPiecesBitForBit) {
  std::mt19937 random(7);
  const uint64_t bits = 300001;
  const std::string tdi = RandomVector(bits, random);
  std::vector<uint8_t> program;
  const SvfConversion conversion =
      ConvertText("HDR 3 TDI (5);\nSDR 300001 TDI (\n " + tdi + ") SMASK (" + tdi + ");\n", &program);
  ASSERT_TRUE(conversion.ok) << conversion.fault.Describe("svf");

  EXPECT_EQ(CommandNames(program),
            (std::vector<std::string>{"XSDRSIZE 55808", "XSDRB", "XSDRC", "XSDRC", "XSDRC", "XSDRC",
                                      "XSDRSIZE 20964", "XSDRE", "XCOMPLETE"}));
  const std::vector<XsvfScan> scans = ScansOf(program);
  ASSERT_EQ(scans.size(), 1u);
  std::vector<bool> expected = BitsOf("5", 3);
  const std::vector<bool> data = BitsOf(tdi, bits);
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(scans[0].tdi, expected);
  EXPECT_EQ(scans[0].mask, std::vector<bool>(bits + 3, false));
}

// A long compared scan: a whole XSDRTDO per piece under its own mask, the pieces
// joined in Pause-DR (the device sees one scan: svf_corpus_test plays it). The
// program does not grow with the mask's runs.
TEST(SvfConverter, LongComparedScansSplitIntoMaskedPieces) {
  std::mt19937 random(11);
  const uint64_t bits = 60000;
  const std::string tdi = RandomVector(bits, random);
  const std::string tdo = RandomVector(bits, random);
  // Compare every other bit but bits 100 to 131 (digits 25 to 32 from the end).
  std::string mask(15000, '5');
  mask.replace(mask.size() - 33, 8, "00000000");
  std::vector<uint8_t> program;
  const SvfConversion conversion = ConvertText(
      "SDR 60000 TDI (" + tdi + ") TDO (" + tdo + ") MASK (" + mask + ");\n", &program);
  ASSERT_TRUE(conversion.ok) << conversion.fault.Describe("svf");

  EXPECT_EQ(CommandNames(program),
            (std::vector<std::string>{"XENDDR", "XSDRSIZE 55808", "XTDOMASK", "XSDRTDO", "XENDDR",
                                      "XSDRSIZE 4192", "XTDOMASK", "XSDRTDO", "XCOMPLETE"}));
  EXPECT_LT(program.size(), 3 * 60000 / 8 + 100);
  XsvfScan whole;
  for (const XsvfScan& piece : ScansOf(program)) {
    whole.tdi.insert(whole.tdi.end(), piece.tdi.begin(), piece.tdi.end());
    whole.tdo.insert(whole.tdo.end(), piece.tdo.begin(), piece.tdo.end());
    whole.mask.insert(whole.mask.end(), piece.mask.begin(), piece.mask.end());
  }
  EXPECT_EQ(whole.tdi, BitsOf(tdi, bits));
  const std::vector<bool> maskBits = BitsOf(mask, bits);
  EXPECT_EQ(whole.mask, maskBits);
  const std::vector<bool> tdoBits = BitsOf(tdo, bits);
  for (uint64_t i = 0; i < bits; ++i) {
    if (maskBits[i]) {
      ASSERT_EQ(whole.tdo[i], tdoBits[i]) << i;
    }
  }
}

// ---- Refusals ----

TEST(SvfConverter, RefusesWhatXsvfCannotSayWithItsPlace) {
  const std::string longIr = "SIR 56001 TDI (" + std::string(14001, '0') + ");\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"STATE IDLE;\nTRST ON;\nSDR 8 TDI (00);\n",
       "3:1: SDR while TRST is ON: the TAP controller is held in reset, and XSVF has no reset "
       "line to hold it there"},
      {"TRST ON;\nSTATE IDLE;\n",
       "2:1: STATE while TRST is ON: the TAP controller is held in reset, and XSVF has no "
       "reset line to hold it there"},
      {"TRST ON;\nRUNTEST 10 TCK;\n",
       "2:1: RUNTEST while TRST is ON: the TAP controller is held in reset, and XSVF has no "
       "reset line to hold it there"},
      {longIr,
       "1:1: SIR of 56001 bits (header and trailer included) is longer than the 56000 bits the "
       "player holds, and an instruction scan cannot be split"},
      {"RUNTEST 100 SCK;\n",
       "1:9: RUNTEST counts SCK without a time: the device waits in microseconds and cannot "
       "count the system clock; give the time in SEC as well"},
      {"RUNTEST 2000 TCK 1E-3 SEC MAXIMUM 1.5E-3 SEC;\n",
       "1:27: RUNTEST needs a wait of 2000 microseconds, longer than its MAXIMUM of 1500"},
      {"FREQUENCY 1 HZ;\nRUNTEST 2148 TCK;\n",
       "2:1: RUNTEST asks for a wait of 2148000000 microseconds; the device waits at most "
       "2147483647 (about 35 minutes) at a time"},
      {"SDR 8 TDI (00);\nSDR 16 TDO (0000);\n",
       "2:1: SDR 16 needs TDI: the last SDR had another length"},
      {"HDR 4 TDO (0);\n", "1:1: HDR 4 needs TDI: the last HDR had another length"},
      {"STATE IDLE;\nSTATE IDLE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\n",
       "2:7: a STATE path cannot stay in IDLE: XSVF moves the TAP controller only to another "
       "state"},
      {"STATE IDLE;\nSTATE DRSELECT DREXIT1 DRPAUSE;\n",
       "2:16: STATE cannot go from DRSELECT to DREXIT1 in one clock"},
  };
  for (const auto& [svf, fault] : cases) {
    SCOPED_TRACE(svf.substr(0, 60));
    EXPECT_EQ(FaultOf(svf), fault);
  }
  // The longest instruction scan the player holds, a header bit included.
  EXPECT_EQ(FaultOf("HIR 1 TDI (1);\nSIR 55999 TDI (0);\n"), "converted");
}

// ---- Output bounded by the input ----

// A header of 56000 bits compared under an alternating mask, then a one-bit scan
// 500 times: 17.5 KB of SVF that used to make 70 MB of XSVF, since every scan
// shifts the header again. The program may grow only so far for the SVF read.
TEST(SvfConverter, RefusesAProgramThatGrowsFarBeyondItsSvf) {
  std::string svf = "HDR 56000 TDI (0) TDO (0) MASK (" + std::string(14000, '5') + ");\n" +
                    "SDR 1 TDI (1);\n";
  for (int i = 0; i < 499; ++i) svf += "SDR 1;\n";
  std::vector<uint8_t> program;
  const SvfConversion conversion = ConvertText(svf, &program);
  ASSERT_FALSE(conversion.ok);
  EXPECT_EQ(svf.size(), 17543u);
  EXPECT_EQ(conversion.fault.Describe("hdr.svf"),
            "hdr.svf:62:1: SDR makes the XSVF program longer than 1280080 bytes, 16 for each of "
            "the 14469 bytes of SVF up to here and 1 MiB more: a long HDR, HIR, TDR or TIR is "
            "shifted again in every scan");
  EXPECT_LE(program.size(), (1u << 20) + 16 * svf.size());

  // Within the bound, what each scan costs does not depend on the mask's runs.
  auto programSize = [](char maskDigit) {
    std::string few = "HDR 56000 TDI (0) TDO (0) MASK (" + std::string(14000, maskDigit) +
                      ");\nSDR 1 TDI (1);\n";
    for (int i = 0; i < 9; ++i) few += "SDR 1;\n";
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ConvertText(few, &bytes).ok);
    return bytes.size();
  };
  EXPECT_EQ(programSize('5'), programSize('f'));

  // Headers and trailers of a few bits, as devices in bypass give them, in many
  // short scans: far within the bound.
  std::string bypassed = "HIR 3 TDI (7);\nTIR 2 TDI (3);\nHDR 3 TDI (0);\nTDR 2 TDI (0);\n";
  for (int i = 0; i < 2000; ++i) bypassed += "SIR 8 TDI (01);\nSDR 8 TDI (5a) TDO (a5);\n";
  EXPECT_EQ(FaultOf(bypassed), "converted");
}

// ---- Files ----

class SvfFileConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
  }
  void Save(const std::string& name, const std::string& text) {
    std::ofstream(folder + name, std::ios::binary) << text;
  }
  std::string Load(const std::string& name) {
    std::ifstream file(folder + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  const std::string folder = "svf_files/";
};

TEST_F(SvfFileConversion, WritesTheProgramAsTheTextConversionDoes) {
  const std::string svf = "STATE IDLE;\nSIR 8 TDI (01);\nSDR 32 TDI (00000000) TDO (12345678);\n";
  Save("good.svf", svf);
  const SvfConversion conversion = ConvertSvfFile(folder + "good.svf", folder + "good.xsvf");
  ASSERT_TRUE(conversion.ok);
  std::vector<uint8_t> expected;
  ConvertText(svf, &expected);
  std::ifstream written(folder + "good.xsvf", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(written), {}), expected);
}

TEST_F(SvfFileConversion, AFaultLeavesAnExistingProgramAsItWasAndNoNewOne) {
  Save("bad.svf", "STATE IDLE;\nSIR 8 TDI (0g);\n");
  Save("bad.xsvf", "an older program");
  const SvfConversion conversion = ConvertSvfFile(folder + "bad.svf", folder + "bad.xsvf");
  EXPECT_FALSE(conversion.ok);
  EXPECT_EQ(conversion.fault.Describe("bad.svf"),
            "bad.svf:2:13: TDI holds 'g', which is not a hex digit");
  EXPECT_EQ(Load("bad.xsvf"), "an older program");

  EXPECT_FALSE(ConvertSvfFile(folder + "bad.svf", folder + "new.xsvf").ok);
  const SvfConversion missing = ConvertSvfFile(folder + "missing.svf", folder + "missing.xsvf");
  EXPECT_EQ(missing.fault.Describe("missing.svf"), "missing.svf: cannot be opened");
  const SvfConversion unwritable = ConvertSvfFile(folder + "bad.svf", folder + "no/such.xsvf");
  EXPECT_EQ(unwritable.fault.message, "cannot create " + folder + "no/such.xsvf");
  // Nothing but the two files saved: no new program, no temporary file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

// The SVF named again as the output, by its name, another spelling or a link,
// is refused before anything is written.
TEST_F(SvfFileConversion, RefusesToWriteOverTheSvfItself) {
  const std::string svf = "STATE IDLE;\nSIR 8 TDI (01);\n";
  Save("self.svf", svf);
  std::vector<std::string> outputs = {folder + "self.svf", "./" + folder + "self.svf"};
  std::error_code error;
  std::filesystem::create_symlink("self.svf", folder + "link.xsvf", error);
  if (!error) outputs.push_back(folder + "link.xsvf");
  for (const std::string& output : outputs) {
    const SvfConversion conversion = ConvertSvfFile(folder + "self.svf", output);
    EXPECT_EQ(conversion.fault.Describe("self.svf"),
              "self.svf: is the file to write as well: name another file for the XSVF program")
        << output;
    EXPECT_EQ(Load("self.svf"), svf) << output;
  }
}

}  // namespace
