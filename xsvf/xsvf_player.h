#pragma once
// The XSVF player: plays a JTAG target's XSVF program through the device's JTAG
// port, command by command, with the cable commands of link/jtag_cable.h.
//
// The program comes from the current update-file record through ReadDataByte; the
// cancel request and the progress display are those of g_pUpdateState.

#include <cstdint>

// Largest vector the player holds, in bytes.
constexpr int32_t MAX_LEN = 7000;

// A bit vector, most significant byte first: bit 0 of value[length - 1] is the
// least significant bit; spare bits of a bit count that is not a multiple of 8 are
// the top bits of value[0].
struct SBitVector {
  int16_t length = 0;
  uint8_t value[MAX_LEN] = {};
};

// The player's error codes (codes 9 to 13 arrive as CComErrException).
enum XsvfError : int32_t {
  XsvfOk = 0,
  XsvfUnknown = 1,
  XsvfTdoMismatch = 2,
  XsvfMaxRetries = 3,
  XsvfUnsupported = 4,
  XsvfIllegalState = 5,
  XsvfDataOverflow = 6,
  XsvfCancelled = 7,
  XsvfDebugFile = 8,
};

// TAP controller states, numbered as in the XSVF format.
enum TapState : uint8_t {
  TapReset = 0, TapIdle = 1, TapDrSelect = 2, TapDrCapture = 3, TapDrShift = 4,
  TapDrExit1 = 5, TapDrPause = 6, TapDrExit2 = 7, TapDrUpdate = 8, TapIrSelect = 9,
  TapIrCapture = 10, TapIrShift = 11, TapIrExit1 = 12, TapIrPause = 13, TapIrExit2 = 14,
  TapIrUpdate = 15,
};

// XSVF command codes.
enum XsvfCommand : uint8_t {
  XCOMPLETE = 0, XTDOMASK = 1, XSIR = 2, XSDR = 3, XRUNTEST = 4, XRESERVED5 = 5,
  XRESERVED6 = 6, XREPEAT = 7, XSDRSIZE = 8, XSDRTDO = 9, XSETSDRMASKS = 10, XSDRINC = 11,
  XSDRB = 12, XSDRC = 13, XSDRE = 14, XSDRTDOB = 15, XSDRTDOC = 16, XSDRTDOE = 17,
  XSTATE = 18, XENDIR = 19, XENDDR = 20, XSIR2 = 21, XCOMMENT = 22, XWAIT = 23,
};
constexpr int kXsvfCommandCount = 24;

// The player's state for one run. Large (seven vectors): never copied.
struct SXsvfInfo {
  uint8_t complete = 0;
  uint8_t command = 0;
  int32_t commandCount = 0;
  int32_t errorCode = 0;
  uint8_t tapState = TapReset;
  uint8_t endIrState = TapIdle;
  uint8_t endDrState = TapIdle;
  uint8_t maxRepeat = 0;
  int32_t runTestTime = 0;
  int32_t shiftLengthBits = 0;
  int16_t shiftLengthBytes = 0;
  SBitVector tdi;
  SBitVector tdoExpected;
  SBitVector tdoCaptured;
  SBitVector tdoMask;
  SBitVector addressMask;
  SBitVector dataMask;
  SBitVector nextData;
};

// Command names as the debug log prints them ("Unknown" above 23).
const char* XsvfCommandName(int code);
// TAP state names as the debug log prints them ("Unknown" above 15).
const char* TapStateName(int state);

// Interpreter.
int ClearXsvfInfo(SXsvfInfo& info);
int StepCommand(SXsvfInfo& info);
int ReportUnsupported(SXsvfInfo& info);
void ReadXsvfByte(uint8_t& byte);
void ReadVector(SBitVector& vector, int16_t count);
int32_t VectorValue(const SBitVector& vector);
int32_t BytesForBits(int32_t bits);

// TAP navigation.
void ClockTms(uint8_t level);
int InitPlayer(SXsvfInfo& info);
int MoveTap(uint8_t& tapState, uint8_t target);

// Shift engine.
int ShiftWithRetry(uint8_t& tapState, uint8_t startState, int32_t bitCount, SBitVector& tdi,
                   SBitVector* captured, SBitVector* expected, SBitVector* mask,
                   uint8_t endState, int32_t wait, uint8_t retryLimit);
bool ShiftChunks(int32_t bitCount, SBitVector& tdi, SBitVector* expected, SBitVector* mask,
                 SBitVector* captured, bool exitShift);
int ShiftDrFromFile(uint8_t& tapState, int32_t bitCount, int16_t byteCount, SBitVector& tdi,
                    SBitVector* captured, SBitVector* expected, SBitVector* mask,
                    uint8_t endState, int32_t wait, uint8_t retryLimit);
void AddVectors(SBitVector& result, const SBitVector& a, const SBitVector& b);
void MergeNextData(SBitVector& tdi, const SBitVector& nextData, const SBitVector& addressMask,
                   const SBitVector& dataMask);

// Run entry: plays the current record's program; 0 on XCOMPLETE, else the error code.
int PlayXsvf();
// The message for an error code, in a process-wide buffer overwritten by the next call.
const char* XsvfErrorText(int code);
