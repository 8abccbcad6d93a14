#include "xsvf/shift_engine.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "link/protocol_bytes.h"
#include "xsvf/debug_log.h"
#include "xsvf/tap_navigation.h"

namespace {

constexpr int32_t kChunkBits = static_cast<int32_t>(kMaxChunkBits);

// Stores a handler's failure in the record.
int StoreResult(SXsvfInfo& info, int result) {
  if (result != XsvfOk) info.errorCode = result;
  return result;
}

// The wait of the next retry: a quarter longer, kept within 32 bits.
int32_t GrowWait(int32_t wait) {
  const int64_t grown = static_cast<int64_t>(wait) + (wait >> 2);
  return static_cast<int32_t>(std::clamp<int64_t>(grown, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void WaitInRunTestIdle(XsvfIo& io, uint8_t& tapState, int32_t wait) {
  MoveTap(io, tapState, TapIdle);
  io.log.Log(3, "   Wait = %ld usec\n", static_cast<long>(wait));
  io.cable.WaitUsec(static_cast<uint32_t>(wait));
}

// The expected, captured and mask dumps of a mismatch, indented by their level.
void LogComparison(XsvfDebugLog& log, int level, const SBitVector* expected,
                   const SBitVector* captured, const SBitVector* mask) {
  const std::string indent(static_cast<size_t>(level), ' ');
  log.LogVector(level, (indent + "TDO Expected = ").c_str(), expected);
  log.LogVector(level, (indent + "TDO Captured = ").c_str(), captured);
  log.LogVector(level, (indent + "TDO Mask     = ").c_str(), mask);
}

// A data-register shift of the record's length that sends its TDI vector and
// ends in `endState`, without a wait or retries.
ShiftRequest DataShift(SXsvfInfo& info, uint8_t endState) {
  ShiftRequest request;
  request.startState = TapDrShift;
  request.bitCount = info.shiftLengthBits;
  request.vectors.tdi = &info.tdi;
  request.endState = endState;
  return request;
}

// A data-register shift compared under the mask with the run's retry policy, as
// XSDR, XSDRTDO and XSDRINC do it.
ShiftRequest ComparedDataShift(SXsvfInfo& info) {
  ShiftRequest request = DataShift(info, info.endDrState);
  request.vectors = {&info.tdi, &info.tdoCaptured, &info.tdoExpected, &info.tdoMask};
  request.wait = info.runTestTime;
  request.retryLimit = info.maxRepeat;
  return request;
}

// `tdi` holds the TDI bits already.
int ShiftDataCompared(SXsvfInfo& info, XsvfIo& io) {
  return ShiftWithRetry(io, info.tapState, ComparedDataShift(info));
}

// Reads and shifts an instruction of `bits` bits (XSIR, XSIR2).
int ShiftInstruction(SXsvfInfo& info, XsvfIo& io, int32_t bits) {
  if (!FitsVector(bits)) return StoreResult(info, XsvfDataOverflow);
  ReadVector(io.program, info.tdi, static_cast<int16_t>(BytesForBits(bits)));
  ShiftRequest request;
  request.startState = TapIrShift;
  request.bitCount = bits;
  request.vectors.tdi = &info.tdi;
  request.endState = info.endIrState;
  request.wait = info.runTestTime;
  return StoreResult(info, ShiftWithRetry(io, info.tapState, request));
}

// Bit n of a vector, counting from its least significant bit.
bool VectorBit(const SBitVector& vector, int32_t n) {
  return (vector.value[vector.length - 1 - n / 8] >> (n % 8)) & 1;
}

uint8_t ReadOperandByte(SXsvfInfo& info, XsvfIo& io) {
  ReadVector(io.program, info.tdi, 1);
  return info.tdi.value[0];
}

int32_t ReadOperandWord(SXsvfInfo& info, XsvfIo& io, int16_t bytes) {
  ReadVector(io.program, info.tdi, bytes);
  return VectorValue(info.tdi);
}

}  // namespace

int ShiftWithRetry(XsvfIo& io, uint8_t& tapState, const ShiftRequest& request) {
  const uint8_t startState = request.startState;
  const uint8_t endState = request.endState;
  const int32_t bitCount = request.bitCount;
  const uint8_t retryLimit = request.retryLimit;
  const ShiftVectors& vectors = request.vectors;
  const bool exitShift = startState != endState;
  int32_t wait = request.wait;  // grows on retries; the record's wait stays as it is
  int retries = 0;  // wider than the limit, so that counting past 255 cannot wrap
  io.log.Log(3, "   Shift Length = %ld\n", static_cast<long>(bitCount));
  io.log.LogVector(4, "    TDI          = ", vectors.tdi);
  io.log.LogVector(4, "    TDO Expected = ", vectors.expected);
  if (bitCount == 0) {
    if (wait != 0) WaitInRunTestIdle(io, tapState, wait);
    return XsvfOk;
  }
  for (;;) {
    MoveTap(io, tapState, startState);
    const bool mismatch = !ShiftChunks(io.cable, bitCount, vectors, exitShift);
    if (exitShift) {
      ++tapState;  // the device left the Shift state for Exit1 on the last bit
      LogTapState(io.log, tapState);
    }
    if (mismatch && wait != 0 && retries < retryLimit) {
      LogComparison(io.log, 4, vectors.expected, vectors.captured, vectors.mask);
      io.log.Log(3, "   Retry #%d\n", retries + 1);
      MoveTap(io, tapState, TapDrPause);
      MoveTap(io, tapState, TapDrShift);
      wait = GrowWait(wait);
    } else {
      MoveTap(io, tapState, endState);
    }
    if (wait != 0) WaitInRunTestIdle(io, tapState, wait);
    if (!mismatch) return XsvfOk;
    if (retries++ >= retryLimit) break;
  }
  LogComparison(io.log, 1, vectors.expected, vectors.captured, vectors.mask);
  return retryLimit != 0 && retries > retryLimit ? XsvfMaxRetries : XsvfTdoMismatch;
}

bool ShiftChunks(JtagCable& cable, int32_t bitCount, const ShiftVectors& vectors,
                 bool exitShift) {
  const SBitVector& tdi = *vectors.tdi;
  SBitVector* captured = vectors.captured;
  const SBitVector* expected = vectors.expected;
  const SBitVector* mask = vectors.mask;
  if (captured) {
    captured->length = tdi.length;
  } else {
    expected = nullptr;  // nothing to compare into: shift TDI only
    mask = nullptr;
  }
  bool mismatch = false;
  int32_t position = tdi.length;
  int32_t remaining = bitCount;
  while (remaining > 0) {
    const int32_t bits = std::min(remaining, kChunkBits);
    const int32_t bytes = (bits + 7) / 8;
    position -= bytes;
    remaining -= bits;
    const uint8_t reply = cable.ShiftBitsequenz(
        static_cast<uint32_t>(bits), tdi.value + position,
        expected ? expected->value + position : nullptr, mask ? mask->value + position : nullptr,
        exitShift && remaining == 0);
    if (reply == ReplyAck) {
      if (captured && expected) {
        std::memcpy(captured->value + position, expected->value + position, bytes);
      }
    } else if (reply == ReplyTdoMismatch) {
      if (captured) {
        cable.ReadTdoBitsequenz(static_cast<uint32_t>(bits), captured->value + position);
      }
      mismatch = true;
    } else {
      return false;  // an unknown reply fails the whole shift
    }
  }
  return !mismatch;
}

int ShiftDrFromFile(XsvfIo& io, uint8_t& tapState, int16_t byteCount,
                    const ShiftRequest& request) {
  ReadVector(io.program, *request.vectors.tdi, byteCount);
  if (request.vectors.expected) ReadVector(io.program, *request.vectors.expected, byteCount);
  ShiftRequest dataShift = request;
  dataShift.startState = TapDrShift;
  return ShiftWithRetry(io, tapState, dataShift);
}

void AddVectors(SBitVector& result, const SBitVector& a, const SBitVector& b) {
  result.length = a.length;
  unsigned carry = 0;
  for (int i = a.length - 1; i >= 0; --i) {
    const unsigned sum = a.value[i] + b.value[i] + carry;
    result.value[i] = static_cast<uint8_t>(sum);
    carry = sum > 0xFF ? 1 : 0;
  }
}

void MergeNextData(SBitVector& tdi, const SBitVector& nextData, const SBitVector& addressMask,
                   const SBitVector& dataMask) {
  AddVectors(tdi, tdi, addressMask);
  int32_t dataBit = 0;
  for (int i = dataMask.length - 1; i >= 0; --i) {
    const uint8_t maskByte = dataMask.value[i];
    if (maskByte == 0) continue;
    uint8_t tdiByte = tdi.value[i];
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t position = static_cast<uint8_t>(1u << bit);
      if ((maskByte & position) == 0) continue;
      if (VectorBit(nextData, dataBit++)) {
        tdiByte |= position;
      } else {
        tdiByte &= static_cast<uint8_t>(~position);
      }
    }
    tdi.value[i] = tdiByte;
  }
}

int DoXTdoMask(SXsvfInfo& info, XsvfIo& io) {
  ReadVector(io.program, info.tdoMask, info.shiftLengthBytes);
  io.log.LogVector(4, "    TDO Mask     = ", &info.tdoMask);
  return XsvfOk;
}

int DoXSir(SXsvfInfo& info, XsvfIo& io) {
  const int32_t bits = ReadOperandByte(info, io);
  io.log.Log(3, "   XSIR length = %d\n", static_cast<int>(bits));
  return ShiftInstruction(info, io, bits);
}

int DoXSir2(SXsvfInfo& info, XsvfIo& io) {
  const int32_t bits = ReadOperandWord(info, io, 2);
  io.log.Log(3, "   XSIR2 length = %d\n", static_cast<int>(bits));
  return ShiftInstruction(info, io, bits);
}

int DoXSdr(SXsvfInfo& info, XsvfIo& io) {
  ReadVector(io.program, info.tdi, info.shiftLengthBytes);
  return StoreResult(info, ShiftDataCompared(info, io));
}

int DoXRunTest(SXsvfInfo& info, XsvfIo& io) {
  info.runTestTime = ReadOperandWord(info, io, 4);
  io.log.Log(3, "   XRUNTEST = %ld\n", static_cast<long>(info.runTestTime));
  return XsvfOk;
}

int DoXRepeat(SXsvfInfo& info, XsvfIo& io) {
  ReadXsvfByte(io.program, info.maxRepeat);
  io.log.Log(3, "   XREPEAT = %d\n", info.maxRepeat);
  return XsvfOk;
}

int DoXSdrSize(SXsvfInfo& info, XsvfIo& io) {
  const int32_t bits = ReadOperandWord(info, io, 4);
  io.log.Log(3, "   XSDRSIZE = %ld\n", static_cast<long>(bits));
  // A negative length (a count above 2^31 - 1 read as signed) is refused like a
  // long one; only lengths that fit the vectors are ever stored.
  if (!FitsVector(bits)) return StoreResult(info, XsvfDataOverflow);
  info.shiftLengthBits = bits;
  info.shiftLengthBytes = static_cast<int16_t>(BytesForBits(bits));
  return XsvfOk;
}

int DoXSdrTdo(SXsvfInfo& info, XsvfIo& io) {
  return StoreResult(info, ShiftDrFromFile(io, info.tapState, info.shiftLengthBytes,
                                           ComparedDataShift(info)));
}

int DoXSetSdrMasks(SXsvfInfo& info, XsvfIo& io) {
  ReadVector(io.program, info.addressMask, info.shiftLengthBytes);
  ReadVector(io.program, info.dataMask, info.shiftLengthBytes);
  io.log.LogVector(4, "    Address Mask = ", &info.addressMask);
  io.log.LogVector(4, "    Data Mask    = ", &info.dataMask);
  return XsvfOk;
}

int DoXSdrInc(SXsvfInfo& info, XsvfIo& io) {
  ReadVector(io.program, info.tdi, info.shiftLengthBytes);
  int result = ShiftDataCompared(info, io);
  if (result != XsvfOk) return StoreResult(info, result);
  const int16_t pieceBytes = static_cast<int16_t>(BytesForBits(
      CountOneBits(info.dataMask.value, static_cast<size_t>(info.dataMask.length))));
  uint8_t pieces = 0;
  ReadXsvfByte(io.program, pieces);
  for (int i = 0; i < pieces; ++i) {
    ReadVector(io.program, info.nextData, pieceBytes);
    MergeNextData(info.tdi, info.nextData, info.addressMask, info.dataMask);
    result = ShiftDataCompared(info, io);
    if (result != XsvfOk) return StoreResult(info, result);
  }
  return XsvfOk;
}

int DoXSdrBce(SXsvfInfo& info, XsvfIo& io) {
  const uint8_t endState = info.command == XSDRE ? info.endDrState : uint8_t{TapDrShift};
  return StoreResult(info, ShiftDrFromFile(io, info.tapState, info.shiftLengthBytes,
                                           DataShift(info, endState)));
}

int DoXSdrTdoBce(SXsvfInfo& info, XsvfIo& io) {
  const uint8_t endState = info.command == XSDRTDOE ? info.endDrState : uint8_t{TapDrShift};
  ShiftRequest request = DataShift(info, endState);
  request.vectors.captured = &info.tdoCaptured;
  request.vectors.expected = &info.tdoExpected;
  return StoreResult(info, ShiftDrFromFile(io, info.tapState, info.shiftLengthBytes, request));
}

int DoXWait(SXsvfInfo& info, XsvfIo& io) {
  const uint8_t waitState = ReadOperandByte(info, io);
  const uint8_t endState = ReadOperandByte(info, io);
  const int32_t microseconds = ReadOperandWord(info, io, 4);
  io.log.Log(3, "   XWAIT:  state = %s; time = %ld\n", TapStateName(waitState),
             static_cast<long>(microseconds));
  // A wait in a state the controller cannot be moved to would not be the wait
  // the program asks for: the run stops before it.
  if (!IsLegalMove(info.tapState, waitState) || !IsLegalMove(waitState, endState)) {
    return StoreResult(info, XsvfIllegalState);
  }
  if (info.tapState != waitState) MoveTap(io, info.tapState, waitState);
  io.cable.WaitUsec(static_cast<uint32_t>(microseconds));
  if (info.tapState != endState) MoveTap(io, info.tapState, endState);
  return XsvfOk;
}
