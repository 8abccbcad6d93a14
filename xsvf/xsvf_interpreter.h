#pragma once
// The XSVF interpreter core: the player's state record, its bit vectors, the byte
// and vector readers that take the program from its byte source, and the step
// that reads one command and dispatches it through the table of the 24 command
// codes.
//
// An XSVF program is a stream of one-byte command codes, each followed by its
// operands. Numeric operands are big-endian; vectors are most significant byte
// first. "L" below is the current data-register length in bytes (XSDRSIZE).
//
//   code  command       operands
//    0    XCOMPLETE     none: the program ends here (later bytes are never read)
//    1    XTDOMASK      L bytes
//    2    XSIR          1 byte bit count n, (n + 7) / 8 bytes
//    3    XSDR          L bytes
//    4    XRUNTEST      4 bytes, microseconds
//    5/6  Reserved5/6   none: unsupported, the run stops
//    7    XREPEAT       1 byte
//    8    XSDRSIZE      4 bytes, bits
//    9    XSDRTDO       L bytes TDI, L bytes expected TDO
//   10    XSETSDRMASKS  L bytes address mask, L bytes data mask
//   11    XSDRINC       L bytes TDI, 1 byte count k, k pieces of (data mask bits + 7) / 8 bytes
//   12-14 XSDRB/C/E     L bytes
//   15-17 XSDRTDOB/C/E  L bytes TDI, L bytes expected TDO
//   18    XSTATE        1 byte TAP state
//   19/20 XENDIR/XENDDR 1 byte, 0 or 1
//   21    XSIR2         2 bytes bit count n, (n + 7) / 8 bytes
//   22    XCOMMENT      text up to and including a 0 byte
//   23    XWAIT         1 byte wait state, 1 byte end state, 4 bytes microseconds
//
// Handlers take the record and the run's XsvfIo, read their own operands, and
// return an error code (0 = success), which they also store in `errorCode`. Link
// failures (CComErrException, link/command_link.h) and the end of the program's
// data (XsvfDataEnded) are thrown and pass through every handler to PlayXsvf.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "xsvf/byte_source.h"

class JtagCable;
class XsvfDebugLog;

// Largest vector the player holds, in bytes: every length that comes from the
// program is checked against it before a vector is read.
constexpr int32_t MAX_LEN = 7000;

// A bit vector, most significant byte first: bit 0 of value[length - 1] is the
// least significant bit; spare bits of a bit count that is not a multiple of 8 are
// the top bits of value[0].
struct SBitVector {
  int16_t length = 0;
  uint8_t value[MAX_LEN] = {};
};

// The player's error codes. Codes 2 to 6 come from the handlers, 7 and 8 from the
// run entry, 9 from the end of the program's data, 10 to 13 from the link's
// failures and 14 from a device that refused TAP steps or a wait.
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
  XsvfProgramEnded = 9,     // the program's bytes ran out or could not be read
  XsvfFrameNotWritten = 10, // a command frame was not written whole
  XsvfNoReply = 11,         // the device did not answer within the time-outs
  XsvfRepeatedCrc = 12,     // the device reported a damaged frame a sixth time
  XsvfBadReadAnswer = 13,   // the TDO read-back answer was damaged
  XsvfRefused = 14,         // the device refused a 'B' frame of TAP steps or a 'T' wait
};

// Thrown by the byte readers when the program's data end while a command still
// needs bytes; caught, as the link's failures are, only by PlayXsvf.
struct XsvfDataEnded {};

// TAP controller states, numbered as in the XSVF format. Each Shift state's number
// plus one is its Exit1 state.
enum TapState : uint8_t {
  TapReset = 0, TapIdle = 1, TapDrSelect = 2, TapDrCapture = 3, TapDrShift = 4,
  TapDrExit1 = 5, TapDrPause = 6, TapDrExit2 = 7, TapDrUpdate = 8, TapIrSelect = 9,
  TapIrCapture = 10, TapIrShift = 11, TapIrExit1 = 12, TapIrPause = 13, TapIrExit2 = 14,
  TapIrUpdate = 15,
};
constexpr int kTapStateCount = 16;

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
  uint8_t complete = 0;        // 1 after XCOMPLETE
  uint8_t command = 0;         // code of the command being executed
  int32_t commandCount = 0;    // command bytes read so far, the current one included
  int32_t errorCode = 0;
  uint8_t tapState = TapReset;
  uint8_t endIrState = TapIdle;  // after an IR shift: RUNTEST/IDLE or IRPAUSE
  uint8_t endDrState = TapIdle;  // after a DR shift: RUNTEST/IDLE or DRPAUSE
  uint8_t maxRepeat = 0;       // retries allowed after a TDO mismatch
  int32_t runTestTime = 0;     // microseconds in RUNTEST/IDLE after each shift
  int32_t shiftLengthBits = 0;
  int16_t shiftLengthBytes = 0;
  SBitVector tdi;              // also receives numeric operands
  SBitVector tdoExpected;
  SBitVector tdoCaptured;
  SBitVector tdoMask;
  SBitVector addressMask;
  SBitVector dataMask;
  SBitVector nextData;
};

// Receives the text of each XSVF comment (without its closing 0 byte).
using CommentSink = std::function<void(const std::string& text)>;

// What one run of the player reads from and drives, besides its state record: the
// program's bytes, the cable to the device's JTAG port, the debug log, and where
// the program's comments go.
struct XsvfIo {
  XsvfByteSource& program;
  JtagCable& cable;
  XsvfDebugLog& log;
  CommentSink comment;
};

using XsvfHandler = int (*)(SXsvfInfo& info, XsvfIo& io);

// Command names as the debug log prints them ("Unknown" above 23).
const char* XsvfCommandName(int code);

// Sets the record's fields to their initial values (the vectors keep their
// contents) and logs the record's size. Returns 0.
int ClearXsvfInfo(SXsvfInfo& info, XsvfDebugLog& log);

// Reads and executes one command; returns `errorCode`. Does nothing once the
// record holds an error or the program has completed.
int StepCommand(SXsvfInfo& info, XsvfIo& io);

// The handler of codes 5, 6 and above 23: logs the code and stops the run (4).
int ReportUnsupported(SXsvfInfo& info, XsvfIo& io);

// XCOMPLETE: marks the program complete.
int DoXComplete(SXsvfInfo& info, XsvfIo& io);

// XCOMMENT: passes the text to the run's comment sink.
int DoXComment(SXsvfInfo& info, XsvfIo& io);

// The next byte of the program; throws XsvfDataEnded when there is none.
void ReadXsvfByte(XsvfByteSource& program, uint8_t& byte);

// Sets the vector's length to count and fills it with the next count bytes of the
// program. The caller guarantees 0 <= count <= MAX_LEN.
void ReadVector(XsvfByteSource& program, SBitVector& vector, int16_t count);

// The vector's bytes as a big-endian number (the last 4 bytes); 0 when empty.
int32_t VectorValue(const SBitVector& vector);

// Number of 1 bits in `count` bytes.
int32_t CountOneBits(const uint8_t* bytes, size_t count);

// Bytes folded in order, most significant first (of more than 4 bytes the last 4
// count): how the format stores its numbers.
uint32_t BigEndianValue(const uint8_t* bytes, size_t count);

// Bytes needed for a bit count: (bits + 7) / 8, without overflow for any count.
int32_t BytesForBits(int32_t bits);
