// Whole XSVF programs played by the updater's player over the in-process serial
// line, against the simulated device's JTAG port: the demo chip's sample program,
// and every real program in testdata/xsvf against a chip scripted from it.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/chip_catalog.h"
#include "sim/demo_chip.h"
#include "sim/jtag_executor.h"
#include "sim/scripted_chip.h"
#include "testsupport/simulated_play.h"
#include "xsvf/xsvf_program.h"
#include "xsvf/xsvf_text.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ReadBytes(const std::string& path) {
  const std::string text = ReadText(path);
  return Bytes(text.begin(), text.end());
}

Bytes Assemble(const std::string& text) {
  Bytes program;
  std::string error;
  EXPECT_TRUE(AssembleXsvfText(text, &program, &error)) << error;
  return program;
}

const std::string kDemoProgram = std::string(UPD_SOURCE_DIR) + "/samples/demo_chip_program.xsvf.txt";
const std::string kCorpus = std::string(UPD_SOURCE_DIR) + "/testdata/xsvf";

// The words the demo program writes: word i is 0x9E3779B9 * (i + 1).
DemoChip::Memory DemoProgramWords() {
  DemoChip::Memory words;
  for (uint32_t i = 0; i < words.size(); ++i) words[i] = 0x9E3779B9u * (i + 1);
  return words;
}

// A device with one JTAG target whose session is open from the start, on the
// in-process line, and the player playing a program through it.
class XsvfPlayTest : public ::testing::Test {
 protected:
  // Plays the program to its end against a fresh device with a chip by this name
  // (see sim/chip_catalog.h).
  int Play(const Bytes& program, const std::string& chip,
           StepFrames stepFrames = StepFrames::Batched) {
    std::string error;
    ChipFactory makeChip = ChipFactoryFor(chip, &error);
    EXPECT_TRUE(makeChip) << error;
    play = std::make_unique<SimulatedPlay>(program, makeChip);
    play->host.stepFrames = stepFrames;
    play->Reset();
    return play->Play();
  }

  void ExpectScriptedPlay(const std::string& path);

  JtagExecutor& Port() { return play->Port(); }
  template <typename Chip>
  Chip& ChipOf() { return dynamic_cast<Chip&>(Port().Chip()); }

  std::unique_ptr<SimulatedPlay> play;
};

// Every scan the program describes was shifted whole, with every bit in place.
void ExpectEveryScanInPlace(const ScriptedChip& chip) {
  EXPECT_EQ(chip.UndescribedBits(), 0u);
  EXPECT_EQ(chip.CompletedScans(), chip.Scans().size());
  size_t misplaced = 0;
  for (size_t i = 0; i < chip.Scans().size(); ++i) {
    if (chip.ShiftedTdi()[i] == chip.Scans()[i].tdi) continue;
    if (++misplaced <= 3) ADD_FAILURE() << "scan " << i << " of command " << chip.Scans()[i].command;
  }
  EXPECT_EQ(misplaced, 0u);
}

TEST_F(XsvfPlayTest, DemoProgramIdentifiesErasesProgramsAndVerifiesTheChip) {
  const Bytes program = Assemble(ReadText(kDemoProgram));
  ASSERT_EQ(Play(program, "demo"), 0);

  const DemoChip& chip = ChipOf<DemoChip>();
  EXPECT_EQ(chip.Words(), DemoProgramWords());
  EXPECT_EQ(chip.CompletedOperations(), 66u);  // the erase, 64 words, one page
  EXPECT_EQ(chip.DiscardedOperations(), 0u);
  const CableStatistics& port = Port().Statistics();
  // IDCODE 1, erase check 2, XSDRINC 64, word verify 129, page verify 8 pieces of 2 chunks.
  EXPECT_EQ(port.comparedShifts, 212u);
  EXPECT_EQ(port.mismatches, 0u);
  EXPECT_EQ(port.rejected, 0u);
  EXPECT_EQ(port.ends, 1u);
  EXPECT_EQ(play->BytesRead(), program.size());
}

TEST_F(XsvfPlayTest, DemoProgramFailsWhereTheChipDisagrees) {
  const std::string text = ReadText(kDemoProgram);

  // Without their programming time the words are never written: the word verify
  // fails after its retries.
  std::string noProgramTime = text;
  noProgramTime.replace(noProgramTime.find("XRUNTEST 100"), 12, "XRUNTEST 0");
  EXPECT_EQ(Play(Assemble(noProgramTime), "demo"), 3);

  // One expected bit wrong in the page verify, which compares without retries.
  std::string wrongBit = text;
  const size_t line = wrongBit.find("XSDRTDOC");
  const size_t lastDigit = wrongBit.find('\n', line) - 1;
  wrongBit[lastDigit] = wrongBit[lastDigit] == '0' ? '1' : '0';
  EXPECT_EQ(Play(Assemble(wrongBit), "demo"), 2);
  EXPECT_EQ(Port().Statistics().mismatches, 1u);
}

// Plays the program in `path` against a chip scripted from it: the program runs
// to XCOMPLETE with every comparison passing, shifts every scan it describes
// with every bit in place, and reads nothing after XCOMPLETE.
void XsvfPlayTest::ExpectScriptedPlay(const std::string& path) {
  SCOPED_TRACE(path);
  const Bytes program = ReadBytes(path);
  XsvfProgram parsed;
  std::string error;
  ASSERT_TRUE(ParseXsvfProgram(program.data(), program.size(), &parsed, &error)) << error;

  EXPECT_EQ(Play(program, "script:" + path), 0);
  ExpectEveryScanInPlace(ChipOf<ScriptedChip>());
  EXPECT_EQ(Port().Statistics().mismatches, 0u);
  EXPECT_EQ(Port().Statistics().ends, 1u);
  EXPECT_EQ(play->BytesRead(), parsed.commands.back().offset + 1);
}

TEST_F(XsvfPlayTest, EveryRealProgramPlaysWithEveryScanInPlace) {
  size_t played = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".xsvf") continue;
    ExpectScriptedPlay(entry.path().string());
    ++played;
  }
  EXPECT_GE(played, 5u);
}

// The sample program uses the commands the real ones do not (XSDRINC, XSDR,
// XSETSDRMASKS, XSDRTDOB/C/E, XSIR2, XCOMMENT).
TEST_F(XsvfPlayTest, DemoProgramPlaysAgainstItsScriptWithEveryScanInPlace) {
  const Bytes program = Assemble(ReadText(kDemoProgram));
  std::ofstream("demo_chip_program.xsvf", std::ios::binary)
      .write(reinterpret_cast<const char*>(program.data()), static_cast<std::streamsize>(program.size()));
  ExpectScriptedPlay("demo_chip_program.xsvf");
}

// What the device saw of one play: its frames, the levels it applied (counted
// and folded in order) and where its TAP controller ended.
struct DeviceView {
  uint64_t frames = 0, levels = 0, levelDigest = 0;
  JtagState tapState = JtagState::TestLogicReset;
  std::string debugLog;
};

// Batched steps take fewer round trips than one step per frame, while the device
// applies the same levels in the same order and shifts the same scans, and the
// debug log is the same byte for byte.
TEST_F(XsvfPlayTest, RealProgramsTakeFewerRoundTripsBatchedWithTheSameLevelsAndScans) {
  const std::pair<const char*, uint64_t> programs[] = {
      {"cpld64_program.xsvf", 1482}, {"cpld36_program.xsvf", 10432}, {"fpga_config.xsvf", 5364}};
  for (const auto& [name, mostFrames] : programs) {
    SCOPED_TRACE(name);
    const std::string path = kCorpus + "/" + name;
    const Bytes program = ReadBytes(path);
    DeviceView views[2];
    const StepFrames modes[2] = {StepFrames::OnePerStep, StepFrames::Batched};
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(Play(program, "script:" + path, modes[i]), 0);
      ExpectEveryScanInPlace(ChipOf<ScriptedChip>());
      const CableStatistics& port = Port().Statistics();
      views[i] = {play->Device().Counters().frames, port.levels, port.levelDigest,
                  Port().Tap().State(), ReadText(play->host.debugLogPath)};
    }
    const DeviceView& oneStep = views[0];
    const DeviceView& batched = views[1];
    EXPECT_LE(batched.frames, mostFrames);
    EXPECT_LT(batched.frames, oneStep.frames);
    EXPECT_EQ(batched.levels, oneStep.levels);
    EXPECT_EQ(batched.levelDigest, oneStep.levelDigest);
    EXPECT_EQ(batched.tapState, oneStep.tapState);
    EXPECT_FALSE(batched.debugLog.empty());
    EXPECT_TRUE(batched.debugLog == oneStep.debugLog);
    std::printf("%s: %llu frames one step per frame, %llu batched\n", name,
                static_cast<unsigned long long>(oneStep.frames),
                static_cast<unsigned long long>(batched.frames));
  }
}

}  // namespace
