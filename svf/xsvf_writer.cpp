#include "svf/xsvf_writer.h"

namespace {

std::vector<uint8_t> BigEndian(uint64_t value, size_t bytes) {
  std::vector<uint8_t> out(bytes);
  for (size_t i = 0; i < bytes; ++i) out[bytes - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

std::vector<uint8_t> XsvfVector(const BitBuffer& bits) {
  std::vector<uint8_t> bytes;
  bits.AppendXsvfVector(bytes);
  return bytes;
}

// XSIR carries its bit count in one byte, XSIR2 in two.
constexpr uint64_t kMaxXsirBits = 255;

}  // namespace

XsvfWriter::XsvfWriter(XsvfOutput& output) : output(output) {}

void XsvfWriter::Encode(XsvfCommand code,
                        std::initializer_list<const std::vector<uint8_t>*> operands) {
  scratch.assign(1, code);
  for (const std::vector<uint8_t>* operand : operands) {
    scratch.insert(scratch.end(), operand->begin(), operand->end());
  }
}

void XsvfWriter::Write(const std::vector<uint8_t>& bytes) {
  if (ok) ok = output.Write(bytes.data(), bytes.size());
}

void XsvfWriter::Command(XsvfCommand code,
                         std::initializer_list<const std::vector<uint8_t>*> operands) {
  Encode(code, operands);
  Write(scratch);
}

void XsvfWriter::Flush(uint32_t runTest) {
  if (!pending) return;
  if (runTest != runTestTime) {
    const std::vector<uint8_t> operand = BigEndian(runTest, 4);
    Command(XRUNTEST, {&operand});
    runTestTime = runTest;
  }
  Write(*pending);
  pending.reset();
}

void XsvfWriter::Shift(TapState shiftEnd, TapState end) {
  pending = scratch;
  state = shiftEnd;
  MoveTo(end);  // a move on writes the shift first, without a wait
}

void XsvfWriter::WriteState(TapState target) {
  Flush(0);
  const std::vector<uint8_t> operand{target};
  Command(XSTATE, {&operand});
  state = target;
}

void XsvfWriter::MoveTo(TapState target) {
  if (state != target) WriteState(target);
}

void XsvfWriter::Wait(TapState wait, TapState end, uint32_t microseconds) {
  if (pending && wait == TapIdle && end == TapIdle) {
    // After the shift the player goes from its end state to Run-Test/Idle, as
    // SVF's default path does, and waits there.
    Flush(microseconds);
    state = TapIdle;
    return;
  }
  Flush(0);
  const std::vector<uint8_t> states{wait, end};
  const std::vector<uint8_t> time = BigEndian(microseconds, 4);
  Command(XWAIT, {&states, &time});
  state = end;
}

void XsvfWriter::PrepareCapture(TapState pause, TapState capture) {
  // The setting commands that follow must not reach back to a pending shift.
  Flush(0);
  if (state == pause) WriteState(capture);
}

TapState XsvfWriter::ShiftEnd(TapState end, TapState pause) const {
  return end == TapIdle ? TapIdle : pause;
}

void XsvfWriter::SetEndState(XsvfCommand code, bool toPause, bool* current) {
  if (*current == toPause) return;
  const std::vector<uint8_t> operand{toPause ? uint8_t{1} : uint8_t{0}};
  Command(code, {&operand});
  *current = toPause;
}

void XsvfWriter::SetDataLength(uint64_t bits) {
  if (bits == dataBits) return;
  const std::vector<uint8_t> operand = BigEndian(bits, 4);
  Command(XSDRSIZE, {&operand});
  dataBits = bits;
}

void XsvfWriter::SetMask(const std::vector<uint8_t>& bytes) {
  if (mask == bytes) return;
  Command(XTDOMASK, {&bytes});
  mask = bytes;
}

void XsvfWriter::ShiftInstruction(const BitBuffer& tdi, TapState end) {
  PrepareCapture(TapIrPause, TapIrCapture);
  const TapState shiftEnd = ShiftEnd(end, TapIrPause);
  SetEndState(XENDIR, shiftEnd == TapIrPause, &irEndsInPause);
  const std::vector<uint8_t> vector = XsvfVector(tdi);
  const bool shortCount = tdi.Size() <= kMaxXsirBits;
  const std::vector<uint8_t> count = BigEndian(tdi.Size(), shortCount ? 1 : 2);
  Encode(shortCount ? XSIR : XSIR2, {&count, &vector});
  Shift(shiftEnd, end);
}

void XsvfWriter::ShiftData(const BitBuffer& tdi, const BitBuffer& expectedBits,
                           const BitBuffer& maskBits, TapState end) {
  PrepareCapture(TapDrPause, TapDrCapture);
  DataShift(tdi, expectedBits, maskBits, ShiftEnd(end, TapDrPause), end);
}

void XsvfWriter::ShiftComparedPiece(bool first, bool last, const BitBuffer& tdi,
                                    const BitBuffer& expectedBits, const BitBuffer& maskBits,
                                    TapState end) {
  if (first) {
    PrepareCapture(TapDrPause, TapDrCapture);
  } else {
    Flush(0);  // the piece before waits nowhere: it stays in Pause-DR
  }
  const TapState shiftEnd = last ? ShiftEnd(end, TapDrPause) : TapDrPause;
  DataShift(tdi, expectedBits, maskBits, shiftEnd, last ? end : TapDrPause);
}

void XsvfWriter::DataShift(const BitBuffer& tdi, const BitBuffer& expectedBits,
                           const BitBuffer& maskBits, TapState shiftEnd, TapState end) {
  SetEndState(XENDDR, shiftEnd == TapDrPause, &drEndsInPause);
  SetDataLength(tdi.Size());
  const std::vector<uint8_t> vector = XsvfVector(tdi);
  if (!maskBits.AnySet()) {
    // Compared nowhere: XSDRE sends the device the TDI alone. It takes no
    // run-test time, so it is written at once.
    Command(XSDRE, {&vector});
    state = shiftEnd;
    MoveTo(end);
    return;
  }
  SetMask(XsvfVector(maskBits));
  std::vector<uint8_t> expectedBytes = XsvfVector(expectedBits);
  if (expected == expectedBytes) {
    Encode(XSDR, {&vector});
  } else {
    Encode(XSDRTDO, {&vector, &expectedBytes});
    expected = std::move(expectedBytes);
  }
  Shift(shiftEnd, end);
}

void XsvfWriter::ShiftDataPiece(Piece piece, const BitBuffer& tdi, TapState end) {
  // The split commands take no run-test time: each is written at once.
  if (piece == Piece::First) PrepareCapture(TapDrPause, TapDrCapture);
  const TapState shiftEnd = ShiftEnd(end, TapDrPause);
  if (piece == Piece::Last) SetEndState(XENDDR, shiftEnd == TapDrPause, &drEndsInPause);
  SetDataLength(tdi.Size());
  const std::vector<uint8_t> vector = XsvfVector(tdi);
  const int step = piece == Piece::First ? 0 : piece == Piece::Middle ? 1 : 2;
  Command(static_cast<XsvfCommand>(XSDRB + step), {&vector});
  if (piece == Piece::Last) {
    state = shiftEnd;
    MoveTo(end);
  } else {
    state = TapDrShift;
  }
}

void XsvfWriter::Complete() {
  Flush(0);
  Command(XCOMPLETE);
}
