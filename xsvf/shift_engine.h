#pragma once
// The shift engine: shifts through the target's instruction and data registers
// by whole vectors. Each shift is cut into 'S' commands of at most 512 bits that
// carry TDI, the expected TDO and the compare mask; the device shifts, compares
// TDO itself and answers match (0x11) or mismatch (0x99). Captured TDO is read
// back only for chunks that mismatched; on a match the captured vector is filled
// from the expected one without traffic.
//
// Chunks run from the least significant end: the first carries the last 64 bytes
// of the vectors, later ones move toward the first byte, and the last carries the
// leftover bits in the leading bytes. All vectors of a shift use the TDI vector's
// byte positions.
//
// Retry policy (XREPEAT, XRUNTEST): a mismatched shift is tried again up to the
// retry limit; with a run-test wait each retry goes through DRPAUSE back to
// DRSHIFT and the wait grows by a quarter. A limit of N allows N + 1 attempts.

#include <cstdint>

#include "link/jtag_cable.h"
#include "xsvf/xsvf_interpreter.h"

// The vectors of one shift: the TDI bits to send and, for a shift whose TDO is
// compared, where the captured TDO goes, the expected TDO and the compare mask.
// Named fields, so that no two vectors can trade places in a call.
struct ShiftVectors {
  SBitVector* tdi = nullptr;       // holds (bitCount + 7) / 8 bytes
  SBitVector* captured = nullptr;  // none: TDO is not compared
  SBitVector* expected = nullptr;  // none: every chunk matches
  SBitVector* mask = nullptr;      // none: every bit counts
};

// One shift through a register, with its retry policy.
struct ShiftRequest {
  uint8_t startState = TapDrShift;  // DRSHIFT or IRSHIFT
  int32_t bitCount = 0;
  ShiftVectors vectors;
  // The last bit leaves the Shift state when it differs from startState.
  uint8_t endState = TapDrShift;
  int32_t wait = 0;        // microseconds in RUNTEST/IDLE after the shift
  uint8_t retryLimit = 0;  // XREPEAT's count: up to this many retries
};

// Shifts the request's bits from its start state and ends in its end state, then
// waits in RUNTEST/IDLE. Returns 0, 2 (TDO mismatch) or 3 (mismatch after all of
// a nonzero retry limit).
int ShiftWithRetry(XsvfIo& io, uint8_t& tapState, const ShiftRequest& request);

// Sends the shift as 'S' commands of at most 512 bits; TDO is compared only when
// a captured vector is given. True when every chunk was shifted and matched.
bool ShiftChunks(JtagCable& cable, int32_t bitCount, const ShiftVectors& vectors,
                 bool exitShift);

// Reads byteCount bytes of TDI (and of expected TDO, when the request has an
// expected vector) from the program into the request's vectors and shifts them
// through the data register (the request's start state is not used).
int ShiftDrFromFile(XsvfIo& io, uint8_t& tapState, int16_t byteCount,
                    const ShiftRequest& request);

// result = a + b as big-endian numbers over a's length; the carry out of the first
// byte is dropped.
void AddVectors(SBitVector& result, const SBitVector& a, const SBitVector& b);

// The XSDRINC step: advances tdi's address field by the address mask, then puts
// the bits of nextData (from its least significant bit on) into the bit positions
// of tdi that the data mask marks (from its least significant bit on).
void MergeNextData(SBitVector& tdi, const SBitVector& nextData, const SBitVector& addressMask,
                   const SBitVector& dataMask);

// Handlers of the shift and shift-parameter commands.
int DoXTdoMask(SXsvfInfo& info, XsvfIo& io);
int DoXSir(SXsvfInfo& info, XsvfIo& io);
int DoXSir2(SXsvfInfo& info, XsvfIo& io);
int DoXSdr(SXsvfInfo& info, XsvfIo& io);
int DoXRunTest(SXsvfInfo& info, XsvfIo& io);
int DoXRepeat(SXsvfInfo& info, XsvfIo& io);
int DoXSdrSize(SXsvfInfo& info, XsvfIo& io);
int DoXSdrTdo(SXsvfInfo& info, XsvfIo& io);
int DoXSetSdrMasks(SXsvfInfo& info, XsvfIo& io);
int DoXSdrInc(SXsvfInfo& info, XsvfIo& io);
int DoXSdrBce(SXsvfInfo& info, XsvfIo& io);     // XSDRB, XSDRC, XSDRE
int DoXSdrTdoBce(SXsvfInfo& info, XsvfIo& io);  // XSDRTDOB, XSDRTDOC, XSDRTDOE
// XWAIT: a wait or end state the controller cannot be moved to stops the run (5)
// before the wait.
int DoXWait(SXsvfInfo& info, XsvfIo& io);
