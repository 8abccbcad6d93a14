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

// Shifts `bitCount` bits from startState (DRSHIFT or IRSHIFT) and ends in
// endState (the last bit leaves the Shift state when they differ), then waits
// `wait` microseconds in RUNTEST/IDLE. Returns 0, 2 (TDO mismatch) or 3 (mismatch
// after all of a nonzero retry limit).
int ShiftWithRetry(XsvfIo& io, uint8_t& tapState, uint8_t startState, int32_t bitCount,
                   SBitVector& tdi, SBitVector* captured, SBitVector* expected, SBitVector* mask,
                   uint8_t endState, int32_t wait, uint8_t retryLimit);

// Sends the shift as 'S' commands of at most 512 bits; TDO is compared only when
// a captured vector is given. True when every chunk was shifted and matched. The
// caller guarantees that tdi holds (bitCount + 7) / 8 bytes.
bool ShiftChunks(JtagCable& cable, int32_t bitCount, SBitVector& tdi, SBitVector* expected,
                 SBitVector* mask, SBitVector* captured, bool exitShift);

// Reads byteCount bytes of TDI (and of expected TDO, when given) from the program
// and shifts them through the data register.
int ShiftDrFromFile(XsvfIo& io, uint8_t& tapState, int32_t bitCount, int16_t byteCount,
                    SBitVector& tdi, SBitVector* captured, SBitVector* expected,
                    SBitVector* mask, uint8_t endState, int32_t wait, uint8_t retryLimit);

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
