// SVF programs, converted, played by the updater's player over the in-process
// serial line against the simulated device.
//
// The real SVF programs of testdata/svf against the XSVF that the vendor's tool
// wrote for the same run (testdata/xsvf): both make the same JTAG scans, and ours
// does so in no more round trips and bytes on the wire.
//
// Where the vendor's program legitimately does more, the scans are still the
// same and only the round trips differ, in its disfavour:
// - it resets the TAP controller first (XSTATE RESET), where the player has just
//   reset it; cpld64_erase's also resets it again before its last two scans,
//   which its SVF does not ask for;
// - cpld36_program's arms 32 retries per compared scan (XREPEAT 32), which SVF
//   knows nothing of: they cost nothing while every comparison passes. Its
//   run-test times (XRUNTEST) stay in force over the next scans, for the retries'
//   sake, so it waits after 110 scans that its SVF gives no wait;
// - neither compares an instruction scan's TDO: XSVF cannot;
// - its expected TDO keeps bits outside the mask that ours clears: only the
//   compared bits count.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sim/jtag_executor.h"
#include "sim/scripted_chip.h"
#include "sim/xsvf_scans.h"
#include "svf/svf_converter.h"
#include "testsupport/simulated_play.h"
#include "testsupport/svf_test_support.h"
#include "xsvf/xsvf_text.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kTestData = std::string(UPD_SOURCE_DIR) + "/testdata/";

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Convert(const std::string& svfPath) {
  SvfFileInput input;
  EXPECT_TRUE(input.Open(svfPath)) << svfPath;
  XsvfBytesOutput program;
  const SvfConversion conversion = ConvertSvf(input, program);
  EXPECT_TRUE(conversion.ok) << conversion.fault.Describe(svfPath);
  return program.Bytes();
}

// What a play cost on the wire and what the chip saw.
struct Played {
  std::unique_ptr<SimulatedPlay> play;
  int result = -1;
  uint64_t roundTrips = 0;  // frames, each answered before the next goes out
  uint64_t bytes = 0;       // both ways
  uint64_t mismatches = 0;
  uint64_t undescribedBits = 0;
  size_t completedScans = 0;
  std::vector<std::vector<bool>> shiftedTdi;
};

// Plays `program` against a simulated device with the chip that `makeChip` makes.
Played Play(const Bytes& program, ChipFactory makeChip) {
  Played played;
  played.play = std::make_unique<SimulatedPlay>(program, std::move(makeChip));
  played.play->Reset();
  played.result = played.play->Play();
  const SimCounters counters = played.play->Device().Counters();
  played.roundTrips = counters.frames;
  played.bytes = counters.bytesReceived + counters.bytesSent;
  played.mismatches = played.play->Port().Statistics().mismatches;
  return played;
}

// Plays `program` against a chip that answers every scan in `chipScans` as
// expected there, and records every TDI bit it shifts.
Played PlayScripted(const Bytes& program, const std::vector<XsvfScan>& chipScans) {
  Played played =
      Play(program, [chipScans] { return std::make_unique<ScriptedChip>(chipScans); });
  const auto& chip = dynamic_cast<const ScriptedChip&>(played.play->Port().Chip());
  played.undescribedBits = chip.UndescribedBits();
  played.completedScans = chip.CompletedScans();
  played.shiftedTdi = chip.ShiftedTdi();
  return played;
}

// The same register, length and TDI, and the same TDO where either compares.
void ExpectSameScans(const std::vector<XsvfScan>& ours, const std::vector<XsvfScan>& vendors) {
  ASSERT_EQ(ours.size(), vendors.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE("scan " + std::to_string(i) + ", our command " + std::to_string(ours[i].command) +
                 ", the vendor's " + std::to_string(vendors[i].command));
    ASSERT_EQ(ours[i].kind, vendors[i].kind);
    ASSERT_EQ(ours[i].tdi, vendors[i].tdi);
    ASSERT_EQ(ours[i].mask, vendors[i].mask);
    for (size_t bit = 0; bit < ours[i].mask.size(); ++bit) {
      if (ours[i].mask[bit]) {
        ASSERT_EQ(ours[i].tdo[bit], vendors[i].tdo[bit]) << "bit " << bit;
      }
    }
  }
}

class SvfCorpus : public ::testing::TestWithParam<const char*> {};

TEST_P(SvfCorpus, ConvertsToTheVendorsScansInNoMoreRoundTripsAndBytes) {
  const std::string name = GetParam();
  const Bytes ours = Convert(kTestData + "svf/" + name + ".svf");
  const Bytes vendors = ReadBytes(kTestData + "xsvf/" + name + ".xsvf");
  const std::vector<XsvfScan> vendorScans = ScansOf(vendors);
  ExpectSameScans(ScansOf(ours), vendorScans);

  // Ours, against a chip that answers as the vendor's program expects: every
  // comparison passes and every scan is shifted whole, bit for bit in place.
  const Played played = PlayScripted(ours, vendorScans);
  EXPECT_EQ(played.result, 0);
  EXPECT_EQ(played.mismatches, 0u);
  EXPECT_EQ(played.undescribedBits, 0u);
  EXPECT_EQ(played.completedScans, vendorScans.size());
  for (size_t i = 0; i < vendorScans.size(); ++i) {
    ASSERT_EQ(played.shiftedTdi[i], vendorScans[i].tdi) << "scan " << i;
  }

  const Played vendorPlay = PlayScripted(vendors, vendorScans);
  ASSERT_EQ(vendorPlay.result, 0);
  EXPECT_LE(played.roundTrips, vendorPlay.roundTrips);
  EXPECT_LE(played.bytes, vendorPlay.bytes);
  EXPECT_LT(ours.size(), vendors.size());
}

INSTANTIATE_TEST_SUITE_P(Programs, SvfCorpus,
                         ::testing::Values("cpld64_erase", "cpld64_program", "cpld36_program"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// A chip that writes down what its registers go through: C/c a capture of the
// data/instruction register, S8/s8 eight bits shifted through it, U/u an update.
// It reads 0 on TDO.
class RegisterEvents : public JtagChip {
 public:
  void Reset() override {}
  void Capture(ScanKind kind) override { Note(kind == ScanKind::Data ? "C" : "c"); }
  bool Shift(ScanKind kind, bool) override {
    shiftingData = kind == ScanKind::Data;
    ++bits;
    return false;
  }
  void Update(ScanKind kind) override { Note(kind == ScanKind::Data ? "U" : "u"); }

  std::string Events() {
    Note("");
    return events;
  }

 private:
  void Note(const std::string& event) {
    if (bits > 0) events += (shiftingData ? " S" : " s") + std::to_string(bits);
    bits = 0;
    if (!event.empty()) events += " " + event;
  }

  std::string events;
  bool shiftingData = false;
  uint64_t bits = 0;
};

std::string EventsWhenPlayed(const Bytes& program) {
  const Played played = Play(program, [] { return std::make_unique<RegisterEvents>(); });
  EXPECT_EQ(played.result, 0);
  return dynamic_cast<RegisterEvents&>(played.play->Port().Chip()).Events();
}

// SVF scans always pass Capture; the player goes on from a Pause state to Shift
// without it unless the program moves it round.
TEST(SvfPlay, EveryScanCapturesAlsoFromPauseStates) {
  std::vector<uint8_t> program;
  ASSERT_TRUE(ConvertText("ENDDR DRPAUSE;\nSDR 8 TDI (01);\nSDR 8 TDI (02) TDO (00);\n"
                          "RUNTEST DRPAUSE 10 TCK;\nSDR 8 TDI (03);\n"
                          "ENDIR IRPAUSE;\nSIR 4 TDI (1);\nSIR 4 TDI (2);\n"
                          "ENDDR IDLE;\nSDR 8 TDI (04);\n",
                          &program)
                  .ok);
  EXPECT_EQ(EventsWhenPlayed(program),
            " C S8 U C S8 U C S8 U c s4 u c s4 u C S8 U");

  // What the move round prevents: from DRPAUSE the player shifts on uncaptured.
  Bytes straight;
  std::string error;
  ASSERT_TRUE(AssembleXsvfText("XENDDR 1\nXSDRSIZE 8\nXSDRE 0x01\nXSDRE 0x02\nXCOMPLETE\n",
                               &straight, &error));
  EXPECT_EQ(EventsWhenPlayed(straight), " C S16");
}

// A compared scan too long for one command goes in pieces joined in Pause-DR:
// the device captures once, shifts every bit and updates once, also after a
// header that is compared under a mask of many runs.
TEST(SvfPlay, ALongComparedScanIsOneScanOnTheDevice) {
  std::vector<uint8_t> program;
  ASSERT_TRUE(ConvertText("HDR 8 TDI (00) TDO (00) MASK (55);\nSDR 60000 TDI (" +
                              std::string(15000, '0') + ") TDO (" + std::string(15000, '0') +
                              ") MASK (" + std::string(15000, 'a') + ");\nSDR 8 TDI (01);\n",
                          &program)
                  .ok);
  EXPECT_EQ(EventsWhenPlayed(program), " C S60008 U C S16 U");
}

}  // namespace
