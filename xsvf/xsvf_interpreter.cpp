#include "xsvf/xsvf_interpreter.h"

#include <string>

#include "xsvf/debug_log.h"
#include "xsvf/shift_engine.h"
#include "xsvf/tap_navigation.h"

namespace {

const char* const kCommandNames[kXsvfCommandCount] = {
    "XCOMPLETE", "XTDOMASK", "XSIR",     "XSDR",     "XRUNTEST", "Reserved5",
    "Reserved6", "XREPEAT",  "XSDRSIZE", "XSDRTDO",  "XSETSDRMASKS", "XSDRINC",
    "XSDRB",     "XSDRC",    "XSDRE",    "XSDRTDOB", "XSDRTDOC", "XSDRTDOE",
    "XSTATE",    "XENDIR",   "XENDDR",   "XSIR2",    "XCOMMENT", "XWAIT",
};

// Indexed by the command code. Rows that share a handler tell the variants apart
// by `command`.
const XsvfHandler kHandlers[kXsvfCommandCount] = {
    DoXComplete,       // XCOMPLETE
    DoXTdoMask,        // XTDOMASK
    DoXSir,            // XSIR
    DoXSdr,            // XSDR
    DoXRunTest,        // XRUNTEST
    ReportUnsupported, // Reserved5
    ReportUnsupported, // Reserved6
    DoXRepeat,         // XREPEAT
    DoXSdrSize,        // XSDRSIZE
    DoXSdrTdo,         // XSDRTDO
    DoXSetSdrMasks,    // XSETSDRMASKS
    DoXSdrInc,         // XSDRINC
    DoXSdrBce,         // XSDRB
    DoXSdrBce,         // XSDRC
    DoXSdrBce,         // XSDRE
    DoXSdrTdoBce,      // XSDRTDOB
    DoXSdrTdoBce,      // XSDRTDOC
    DoXSdrTdoBce,      // XSDRTDOE
    DoXState,          // XSTATE
    DoXEndState,       // XENDIR
    DoXEndState,       // XENDDR
    DoXSir2,           // XSIR2
    DoXComment,        // XCOMMENT
    DoXWait,           // XWAIT
};

}  // namespace

const char* XsvfCommandName(int code) {
  return code >= 0 && code < kXsvfCommandCount ? kCommandNames[code] : "Unknown";
}

int ClearXsvfInfo(SXsvfInfo& info, XsvfDebugLog& log) {
  log.Log(4, "    sizeof( SXsvfInfo ) = %d bytes\n", static_cast<int>(sizeof(SXsvfInfo)));
  info.complete = 0;
  info.command = 0;
  info.commandCount = 0;
  info.errorCode = XsvfOk;
  info.tapState = TapReset;
  info.endIrState = TapIdle;
  info.endDrState = TapIdle;
  info.maxRepeat = 0;
  info.runTestTime = 0;
  info.shiftLengthBits = 0;
  info.shiftLengthBytes = 0;
  return XsvfOk;
}

int StepCommand(SXsvfInfo& info, XsvfIo& io) {
  if (info.errorCode != XsvfOk || info.complete != 0) return info.errorCode;
  ReadXsvfByte(io.program, info.command);
  ++info.commandCount;
  if (info.command >= kXsvfCommandCount) {
    ReportUnsupported(info, io);
  } else {
    io.log.Log(2, "  %s\n", kCommandNames[info.command]);
    kHandlers[info.command](info, io);
  }
  return info.errorCode;
}

int ReportUnsupported(SXsvfInfo& info, XsvfIo& io) {
  io.log.Log(0, "ERROR:  Encountered unsupported command #%d (%s)\n", info.command,
             XsvfCommandName(info.command));
  info.errorCode = XsvfUnsupported;
  return XsvfUnsupported;
}

int DoXComplete(SXsvfInfo& info, XsvfIo&) {
  info.complete = 1;
  return XsvfOk;
}

int DoXComment(SXsvfInfo& info, XsvfIo& io) {
  std::string text;
  uint8_t byte = 0;
  ReadXsvfByte(io.program, byte);
  while (byte != 0) {
    if (text.size() < kMaxCommentLength) text += static_cast<char>(byte);
    ReadXsvfByte(io.program, byte);
  }
  if (DebugLevelEnabled(1) && io.comment) io.comment(text);
  info.errorCode = XsvfOk;
  return XsvfOk;
}

void ReadXsvfByte(XsvfByteSource& program, uint8_t& byte) {
  if (!program.ReadByte(&byte)) throw XsvfDataEnded();
}

void ReadVector(XsvfByteSource& program, SBitVector& vector, int16_t count) {
  vector.length = count;
  for (int16_t i = 0; i < count; ++i) ReadXsvfByte(program, vector.value[i]);
}

uint32_t BigEndianValue(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;  // unsigned, so that folding in a fourth byte cannot overflow
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

int32_t VectorValue(const SBitVector& vector) {
  if (vector.length <= 0) return 0;
  return static_cast<int32_t>(BigEndianValue(vector.value, static_cast<size_t>(vector.length)));
}

int32_t BytesForBits(int32_t bits) {
  return static_cast<int32_t>((static_cast<int64_t>(bits) + 7) / 8);
}

bool FitsVector(int32_t bits) {
  return bits >= 0 && BytesForBits(bits) <= MAX_LEN;
}

int32_t CountOneBits(const uint8_t* bytes, size_t count) {
  int32_t ones = 0;
  for (size_t i = 0; i < count; ++i) {
    for (uint8_t byte = bytes[i]; byte != 0; byte &= static_cast<uint8_t>(byte - 1)) ++ones;
  }
  return ones;
}
