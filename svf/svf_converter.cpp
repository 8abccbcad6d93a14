#include "svf/svf_converter.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <limits>
#include <optional>

#include "svf/svf_reader.h"
#include "svf/tap_route.h"
#include "svf/xsvf_writer.h"
#include "xsvf/output_file.h"

namespace {

// The device shifts at most this many bits per frame: pieces of whole frames
// leave no frame part full but a scan's last.
constexpr uint64_t kFrameBits = 512;
constexpr uint64_t kPieceBits = kPlayerVectorBits / kFrameBits * kFrameBits;
// The player reads XWAIT's time as a signed 32-bit number of microseconds.
constexpr uint64_t kMaxWaitMicroseconds = std::numeric_limits<int32_t>::max();
const SvfNumber kOne{1, 0};
// The TCK rate assumed without a FREQUENCY: 1 MHz, one clock per microsecond.
const SvfNumber kDefaultFrequency{1, 6};

// The program may grow to kOutputPerInputByte bytes per byte of SVF read so far,
// and kOutputAllowance bytes more. Real programs stay far below: a vector's hex
// digits become half as many bytes, and the header and trailer of devices in
// bypass add a bit each to every scan. What would go beyond is a long header or
// trailer (HDR, HIR, TDR, TIR) shifted again in every one of many short scans:
// a few bytes of SVF each that would make kilobytes of XSVF.
constexpr uint64_t kOutputPerInputByte = 16;
constexpr uint64_t kOutputAllowance = uint64_t{1} << 20;

// The program's bytes on their way out, counted against what the SVF read so far
// allows; a write past the allowance fails, and nothing more is written.
class BoundedOutput : public XsvfOutput {
 public:
  explicit BoundedOutput(XsvfOutput& output) : output(output) {}
  void AllowFor(uint64_t svfBytes) {
    svfRead = svfBytes;
    limit = kOutputAllowance + kOutputPerInputByte * svfBytes;
  }
  uint64_t SvfRead() const { return svfRead; }
  uint64_t Limit() const { return limit; }
  bool Exceeded() const { return written > limit; }

  bool Write(const uint8_t* bytes, size_t count) override {
    written += count;
    return !Exceeded() && output.Write(bytes, count);
  }

 private:
  XsvfOutput& output;
  uint64_t svfRead = 0;
  uint64_t limit = kOutputAllowance;
  uint64_t written = 0;
};

// What a kind of scan statement keeps for the next statement of its kind.
struct ScanDefinition {
  uint64_t length = 0;
  SvfVector tdi;
  SvfVector mask = SvfVector::Ones();
  // Headers and trailers: the TDO compared in every scan they are part of.
  bool compares = false;
  SvfVector tdo;
};

// One part of a scan: a header, the statement's own bits or a trailer.
struct ScanPart {
  uint64_t bits = 0;
  const SvfVector* tdi = nullptr;
  const SvfVector* tdo = nullptr;  // null: compared nowhere
  const SvfVector* mask = nullptr;
};

// A whole scan's bits read from bit 0, the first shifted, upwards: its TDI, and
// the expected TDO (as written) and mask, both 0 where nothing is compared.
class ScanBits {
 public:
  ScanBits(const std::vector<ScanPart>& scanParts, SvfInput& input) {
    for (const ScanPart& part : scanParts) {
      if (part.bits == 0) continue;
      parts.push_back({part, VectorBitReader(*part.tdi, input),
                       VectorBitReader(part.tdo ? *part.tdo : kNothing, input),
                       VectorBitReader(*part.mask, input)});
      size += part.bits;
      compares = compares || part.tdo;
    }
  }

  uint64_t Size() const { return size; }
  bool Compares() const { return compares; }

  // Appends the next `count` bits to each buffer; false when the input cannot be
  // read.
  bool Read(uint64_t count, BitBuffer& tdi, BitBuffer& expected, BitBuffer& mask) {
    while (count > 0) {
      PartReader& part = parts[current];
      const uint64_t take = std::min(count, part.part.bits - used);
      if (!part.tdi.Read(take, tdi)) return false;
      if (part.part.tdo) {
        partTdo.Clear();
        partMask.Clear();
        if (!part.tdo.Read(take, partTdo) || !part.mask.Read(take, partMask)) return false;
        expected.AppendRange(partTdo, 0, take);
        mask.AppendRange(partMask, 0, take);
      } else {
        expected.AppendCopies(false, take);
        mask.AppendCopies(false, take);
      }
      count -= take;
      used += take;
      if (used == part.part.bits) {
        ++current;
        used = 0;
      }
    }
    return true;
  }

 private:
  struct PartReader {
    ScanPart part;
    VectorBitReader tdi, tdo, mask;
  };
  static const SvfVector kNothing;

  std::vector<PartReader> parts;
  uint64_t size = 0;
  bool compares = false;
  size_t current = 0;
  uint64_t used = 0;  // bits of the current part read
  BitBuffer partTdo, partMask;
};

const SvfVector ScanBits::kNothing;

// How often something worth a note happened, and where first.
struct NoteCount {
  uint64_t count = 0;
  SvfPosition first;
  void Add(SvfPosition at) {
    if (count++ == 0) first = at;
  }
};

XsvfWriter::Piece PieceAt(bool first, bool last) {
  return first ? XsvfWriter::Piece::First : last ? XsvfWriter::Piece::Last : XsvfWriter::Piece::Middle;
}

class Converter {
 public:
  Converter(SvfInput& input, XsvfOutput& output)
      : input(input), reader(input), bounded(output), writer(bounded) {}
  SvfConversion Run();

 private:
  bool Convert(SvfStatement& statement);
  bool Scan(SvfStatement& statement);
  bool Keep(ScanDefinition& definition, SvfStatement& statement);
  bool ShiftWhole(ScanBits& bits, bool instruction, TapState end);
  bool ShiftInPieces(ScanBits& bits, TapState end);
  bool State(const SvfStatement& statement);
  bool RunTest(const SvfStatement& statement);
  void Trst(const SvfStatement& statement);
  bool HeldInReset(const SvfStatement& statement);
  bool Fail(SvfPosition at, std::string message);
  // The end of the conversion after `statement` (its place and keyword).
  SvfConversion Ended(const SvfMessage& statement);
  std::vector<SvfMessage> Notes() const;

  ScanDefinition& Definition(SvfCommand command);

  SvfInput& input;
  SvfReader reader;
  BoundedOutput bounded;
  XsvfWriter writer;
  ScanDefinition sir, sdr, hir, hdr, tir, tdr;
  TapState endIr = TapIdle;
  TapState endDr = TapIdle;
  TapState runState = TapIdle;
  TapState runEnd = TapIdle;
  std::optional<SvfNumber> frequency;
  bool trstOn = false;
  NoteCount uncheckedInstructionTdo;
  NoteCount clocksWithoutFrequency;
  SvfMessage fault;
  SvfMessage last;  // the last statement read: its place and keyword
};

SvfConversion Converter::Run() {
  SvfStatement statement;
  for (;;) {
    switch (reader.Next(&statement)) {
      case SvfReader::Result::Fault:
        return {false, reader.Fault(), {}};
      case SvfReader::Result::End:
        writer.Complete();  // may write the last statement's scan
        return Ended(last);
      case SvfReader::Result::Statement:
        bounded.AllowFor(reader.Offset());
        last = {statement.at, SvfCommandName(statement.command)};
        if (!Convert(statement)) return {false, fault, {}};
        if (!writer.Ok()) return Ended(last);
        break;
    }
  }
}

SvfConversion Converter::Ended(const SvfMessage& statement) {
  if (bounded.Exceeded()) {
    return {false,
            {statement.at, statement.message +
                               " makes the XSVF program longer than " +
                               std::to_string(bounded.Limit()) + " bytes, " +
                               std::to_string(kOutputPerInputByte) + " for each of the " +
                               std::to_string(bounded.SvfRead()) +
                               " bytes of SVF up to here and 1 MiB more: a long HDR, HIR, TDR "
                               "or TIR is shifted again in every scan"},
            {}};
  }
  if (!writer.Ok()) return {false, {SvfPosition(), "cannot write the XSVF program"}, {}};
  return {true, {}, Notes()};
}

bool Converter::Fail(SvfPosition at, std::string message) {
  fault.at = at;
  fault.message = std::move(message);
  return false;
}

ScanDefinition& Converter::Definition(SvfCommand command) {
  switch (command) {
    case SvfCommand::Sir: return sir;
    case SvfCommand::Hir: return hir;
    case SvfCommand::Tir: return tir;
    case SvfCommand::Hdr: return hdr;
    case SvfCommand::Tdr: return tdr;
    default: return sdr;
  }
}

bool Converter::Convert(SvfStatement& statement) {
  switch (statement.command) {
    case SvfCommand::EndIr:
      endIr = statement.states.front();
      return true;
    case SvfCommand::EndDr:
      endDr = statement.states.front();
      return true;
    case SvfCommand::Frequency:
      frequency = statement.frequency;
      return true;
    case SvfCommand::State:
      return State(statement);
    case SvfCommand::RunTest:
      return RunTest(statement);
    case SvfCommand::Trst:
      Trst(statement);
      return true;
    default:
      return Scan(statement);
  }
}

// TDI and MASK persist from the last statement of the kind until given again; a
// new length needs TDI and brings the mask back to all ones.
bool Converter::Keep(ScanDefinition& definition, SvfStatement& statement) {
  const std::string name = SvfCommandName(statement.command);
  if (statement.length != definition.length) {
    if (statement.length > 0 && !statement.tdi.given) {
      return Fail(statement.at, name + " " + std::to_string(statement.length) +
                                    " needs TDI: the last " + name + " had another length");
    }
    definition.mask = SvfVector::Ones();
  }
  definition.length = statement.length;
  if (statement.tdi.given) definition.tdi = std::move(statement.tdi.vector);
  if (statement.mask.given) definition.mask = std::move(statement.mask.vector);
  return true;
}

bool Converter::Scan(SvfStatement& statement) {
  ScanDefinition& definition = Definition(statement.command);
  if (!Keep(definition, statement)) return false;
  const bool instruction = statement.command == SvfCommand::Sir;
  if (!instruction && statement.command != SvfCommand::Sdr) {
    definition.compares = statement.tdo.given;
    definition.tdo = std::move(statement.tdo.vector);
    return true;
  }
  if (trstOn) return HeldInReset(statement);
  const ScanDefinition& header = instruction ? hir : hdr;
  const ScanDefinition& trailer = instruction ? tir : tdr;
  auto partOf = [](const ScanDefinition& d, const SvfVector* tdo) {
    return ScanPart{d.length, &d.tdi, tdo, &d.mask};
  };
  ScanBits bits({partOf(header, header.compares ? &header.tdo : nullptr),
                 partOf(definition, statement.tdo.given ? &statement.tdo.vector : nullptr),
                 partOf(trailer, trailer.compares ? &trailer.tdo : nullptr)},
                input);
  if (bits.Size() == 0) return true;  // nothing to shift
  if (bits.Size() <= kPlayerVectorBits) {
    if (instruction && bits.Compares()) uncheckedInstructionTdo.Add(statement.at);
    return ShiftWhole(bits, instruction, instruction ? endIr : endDr);
  }
  if (instruction) {
    return Fail(statement.at, "SIR of " + std::to_string(bits.Size()) +
                                  " bits (header and trailer included) is longer than the " +
                                  std::to_string(kPlayerVectorBits) +
                                  " bits the player holds, and an instruction scan cannot be split");
  }
  return ShiftInPieces(bits, endDr);
}

bool Converter::ShiftWhole(ScanBits& bits, bool instruction, TapState end) {
  BitBuffer tdi, expected, mask;
  if (!bits.Read(bits.Size(), tdi, expected, mask)) return Fail(SvfPosition(), "cannot be read");
  if (instruction) {
    writer.ShiftInstruction(tdi, end);
  } else {
    writer.ShiftData(tdi, expected, mask, end);
  }
  return true;
}

// A data scan too long for one command, in pieces of at most kPieceBits bits:
// one compared nowhere as XSDRB, XSDRC..., XSDRE; a compared one as a whole
// shift per piece under its own mask, the pieces joined in Pause-DR.
bool Converter::ShiftInPieces(ScanBits& bits, TapState end) {
  BitBuffer tdi, expected, mask;
  bool first = true;
  for (uint64_t left = bits.Size(); left > 0 && writer.Ok();) {
    const uint64_t size = std::min(left, kPieceBits);
    tdi.Clear();
    expected.Clear();
    mask.Clear();
    if (!bits.Read(size, tdi, expected, mask)) return Fail(SvfPosition(), "cannot be read");
    left -= size;
    if (bits.Compares()) {
      writer.ShiftComparedPiece(first, left == 0, tdi, expected, mask, end);
    } else {
      writer.ShiftDataPiece(PieceAt(first, left == 0), tdi, end);
    }
    first = false;
  }
  return true;
}

bool Converter::State(const SvfStatement& statement) {
  const std::vector<TapState>& path = statement.states;
  if (trstOn && std::any_of(path.begin(), path.end(), [](TapState s) { return s != TapReset; })) {
    return HeldInReset(statement);
  }
  if (path.size() == 1) {
    writer.MoveTo(path.front());  // a stable state, by the player's (SVF's default) route
    return true;
  }
  TapState previous = writer.State();
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == previous) {
      return Fail(statement.stateAt[i], std::string("a STATE path cannot stay in ") +
                                            SvfStateName(previous) +
                                            ": XSVF moves the TAP controller only to another state");
    }
    if (!IsTapStep(previous, path[i])) {
      return Fail(statement.stateAt[i], std::string("STATE cannot go from ") +
                                            SvfStateName(previous) + " to " +
                                            SvfStateName(path[i]) + " in one clock");
    }
    previous = path[i];
  }
  // Each XSTATE covers the longest stretch of the path that the player's own
  // route passes; a single step is always one.
  std::vector<TapState> stretch;
  TapState from = writer.State();
  for (const TapState state : path) {
    stretch.push_back(state);
    if (PlayerRoute(from, state) == stretch) continue;
    from = stretch[stretch.size() - 2];
    writer.WriteState(from);
    stretch.assign(1, state);
  }
  writer.WriteState(stretch.back());
  return true;
}

bool Converter::RunTest(const SvfStatement& statement) {
  const SvfRunTest& runTest = statement.runTest;
  if (runTest.runState) runState = runEnd = *runTest.runState;
  if (runTest.endState) runEnd = *runTest.endState;
  uint64_t wait = 0;
  if (runTest.count && runTest.systemClock && !runTest.minTime) {
    return Fail(runTest.countAt,
                "RUNTEST counts SCK without a time: the device waits in microseconds and "
                "cannot count the system clock; give the time in SEC as well");
  }
  if (runTest.count && !runTest.systemClock) {
    wait = ScaledCeiling(*runTest.count, 6, frequency.value_or(kDefaultFrequency));
    if (!frequency && runTest.count->digits != 0) clocksWithoutFrequency.Add(runTest.countAt);
  }
  if (runTest.minTime) wait = std::max(wait, ScaledCeiling(*runTest.minTime, 6, kOne));
  if (runTest.maxTime) {
    const uint64_t maximum = ScaledCeiling(*runTest.maxTime, 6, kOne);
    if (wait > maximum) {
      return Fail(runTest.maxTimeAt, "RUNTEST needs a wait of " + std::to_string(wait) +
                                         " microseconds, longer than its MAXIMUM of " +
                                         std::to_string(maximum));
    }
  }
  if (wait > kMaxWaitMicroseconds) {
    return Fail(statement.at, "RUNTEST asks for a wait of " + std::to_string(wait) +
                                  " microseconds; the device waits at most " +
                                  std::to_string(kMaxWaitMicroseconds) +
                                  " (about 35 minutes) at a time");
  }
  if (trstOn && (runState != TapReset || runEnd != TapReset)) return HeldInReset(statement);
  if (wait > 0) {
    writer.Wait(runState, runEnd, static_cast<uint32_t>(wait));
  } else {
    writer.MoveTo(runState);
    writer.MoveTo(runEnd);
  }
  return true;
}

void Converter::Trst(const SvfStatement& statement) {
  trstOn = statement.trst == TrstMode::On;
  if (trstOn) writer.MoveTo(TapReset);
}

bool Converter::HeldInReset(const SvfStatement& statement) {
  return Fail(statement.at, std::string(SvfCommandName(statement.command)) +
                                " while TRST is ON: the TAP controller is held in reset, and "
                                "XSVF has no reset line to hold it there");
}

std::vector<SvfMessage> Converter::Notes() const {
  std::vector<SvfMessage> notes;
  if (uncheckedInstructionTdo.count > 0) {
    notes.push_back({uncheckedInstructionTdo.first,
                     "note: instruction scans that expect TDO: " +
                         std::to_string(uncheckedInstructionTdo.count) +
                         " (the first here); XSVF cannot compare an instruction scan's TDO, "
                         "so they shift without that check"});
  }
  if (clocksWithoutFrequency.count > 0) {
    notes.push_back({clocksWithoutFrequency.first,
                     "note: TCK counts without a FREQUENCY: " +
                         std::to_string(clocksWithoutFrequency.count) +
                         " (the first here); they are timed at 1 MHz, 1 microsecond per clock"});
  }
  return notes;
}

}  // namespace

SvfConversion ConvertSvf(SvfInput& svf, XsvfOutput& xsvf) {
  return Converter(svf, xsvf).Run();
}

SvfConversion ConvertSvfFile(const std::string& svfPath, const std::string& xsvfPath) {
  if (SameFile(svfPath, xsvfPath)) {
    return {false, {SvfPosition(), "is the file to write as well: name another file for the "
                                   "XSVF program"}, {}};
  }
  SvfFileInput input;
  if (!input.Open(svfPath)) return {false, {SvfPosition(), "cannot be opened"}, {}};
  XsvfFileOutput output(xsvfPath);
  if (!output.Open()) return {false, {SvfPosition(), "cannot create " + xsvfPath}, {}};
  SvfConversion conversion = ConvertSvf(input, output);
  if (conversion.ok && !output.Commit()) {
    conversion = {false, {SvfPosition(), "cannot write " + xsvfPath}, {}};
  }
  return conversion;
}
