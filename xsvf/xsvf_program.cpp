#include "xsvf/xsvf_program.h"

#include <memory>

#include "xsvf/tap_navigation.h"
#include "xsvf/xsvf_interpreter.h"

namespace {

class Parser {
 public:
  Parser(const uint8_t* data, size_t size) : data(data), size(size) {}

  bool Parse(XsvfProgram* program, std::string* error);

 private:
  // Reads the operands of `instruction` (whose code has been read); false with
  // `problem` set when they cannot be read.
  bool ReadOperands(XsvfInstruction& instruction);
  bool ReadField(XsvfInstruction& instruction, size_t count);
  bool ReadTextField(XsvfInstruction& instruction);
  // The big-endian value of the last field read.
  uint32_t LastFieldValue(const XsvfInstruction& instruction) const;
  bool ReadInstructionShift(XsvfInstruction& instruction, size_t countBytes);
  bool ReadSdrSize(XsvfInstruction& instruction);
  bool ReadIncrements(XsvfInstruction& instruction);
  bool Fail(const std::string& what);

  const uint8_t* data;
  size_t size;
  size_t position = 0;
  // What the player knows while it reads: the data-register length (XSDRSIZE) and
  // the number of 1 bits in the XSDRINC data mask (XSETSDRMASKS).
  size_t shiftBytes = 0;
  int32_t dataMaskBits = 0;
  std::string problem;
};

bool Parser::Parse(XsvfProgram* program, std::string* error) {
  program->commands.clear();
  program->trailing.clear();
  for (;;) {
    if (position >= size) {
      Fail("the program ends without XCOMPLETE");
      break;
    }
    XsvfInstruction instruction;
    instruction.offset = position;
    instruction.code = data[position++];
    if (!ReadOperands(instruction)) {
      position = instruction.offset;
      break;
    }
    program->commands.push_back(std::move(instruction));
    if (program->commands.back().code == XCOMPLETE) break;
  }
  program->trailing.assign(data + position, data + size);
  if (problem.empty()) return true;
  if (error) {
    *error = "command #" + std::to_string(program->commands.size() + 1) + " at byte offset " +
             std::to_string(position) + ": " + problem;
  }
  return false;
}

bool Parser::ReadOperands(XsvfInstruction& instruction) {
  switch (instruction.code) {
    case XCOMPLETE:
      return true;
    case XTDOMASK: case XSDR: case XSDRB: case XSDRC: case XSDRE:
      return ReadField(instruction, shiftBytes);
    case XSDRTDO: case XSDRTDOB: case XSDRTDOC: case XSDRTDOE:
      return ReadField(instruction, shiftBytes) && ReadField(instruction, shiftBytes);
    case XSETSDRMASKS:
      if (!ReadField(instruction, shiftBytes) || !ReadField(instruction, shiftBytes)) {
        return false;
      }
      dataMaskBits = CountOneBits(instruction.operands.data() + shiftBytes, shiftBytes);
      return true;
    case XSIR:
      return ReadInstructionShift(instruction, 1);
    case XSIR2:
      return ReadInstructionShift(instruction, 2);
    case XRUNTEST:
      return ReadField(instruction, 4);
    case XREPEAT: case XSTATE: case XENDIR: case XENDDR:
      return ReadField(instruction, 1);
    case XSDRSIZE:
      return ReadSdrSize(instruction);
    case XSDRINC:
      return ReadIncrements(instruction);
    case XCOMMENT:
      return ReadTextField(instruction);
    case XWAIT:
      return ReadField(instruction, 1) && ReadField(instruction, 1) &&
             ReadField(instruction, 4);
    default:
      return Fail("unsupported command code " + std::to_string(instruction.code) + " (" +
                  XsvfCommandName(instruction.code) + ")");
  }
}

bool Parser::ReadField(XsvfInstruction& instruction, size_t count) {
  if (size - position < count) return Fail("the operands run past the end of the program");
  instruction.operands.insert(instruction.operands.end(), data + position,
                              data + position + count);
  instruction.fieldSizes.push_back(count);
  position += count;
  return true;
}

bool Parser::ReadTextField(XsvfInstruction& instruction) {
  size_t end = position;
  while (end < size && data[end] != 0) ++end;
  if (end == size) return Fail("the comment has no terminating 0 byte");
  return ReadField(instruction, end + 1 - position);
}

uint32_t Parser::LastFieldValue(const XsvfInstruction& instruction) const {
  const size_t count = instruction.fieldSizes.back();
  return BigEndianValue(instruction.operands.data() + instruction.operands.size() - count, count);
}

bool Parser::ReadInstructionShift(XsvfInstruction& instruction, size_t countBytes) {
  if (!ReadField(instruction, countBytes)) return false;
  const int32_t bytes = BytesForBits(static_cast<int32_t>(LastFieldValue(instruction)));
  if (bytes > MAX_LEN) return Fail("the instruction length exceeds the vector limit");
  return ReadField(instruction, static_cast<size_t>(bytes));
}

bool Parser::ReadSdrSize(XsvfInstruction& instruction) {
  if (!ReadField(instruction, 4)) return false;
  const int32_t bits = static_cast<int32_t>(LastFieldValue(instruction));
  const int32_t bytes = BytesForBits(bits);
  if (bits < 0 || bytes > MAX_LEN) return Fail("the data length exceeds the vector limit");
  shiftBytes = static_cast<size_t>(bytes);
  return true;
}

bool Parser::ReadIncrements(XsvfInstruction& instruction) {
  if (!ReadField(instruction, shiftBytes) ||
      !ReadField(instruction, 1)) {
    return false;
  }
  const uint32_t pieces = LastFieldValue(instruction);
  const size_t pieceBytes = static_cast<size_t>(BytesForBits(dataMaskBits));
  for (uint32_t i = 0; i < pieces; ++i) {
    if (!ReadField(instruction, pieceBytes)) return false;
  }
  return true;
}

bool Parser::Fail(const std::string& what) {
  problem = what;
  return false;
}

}  // namespace

bool ParseXsvfProgram(const uint8_t* data, size_t size, XsvfProgram* program,
                      std::string* error) {
  return Parser(data, size).Parse(program, error);
}

namespace {

// Counts the bytes taken from a program, for the offsets a check reports.
class CountedSource : public XsvfByteSource {
 public:
  explicit CountedSource(XsvfByteSource& source) : source(source) {}
  bool ReadByte(uint8_t* byte) override {
    if (!source.ReadByte(byte)) return false;
    ++count;
    return true;
  }
  size_t count = 0;

 private:
  XsvfByteSource& source;
};

class BufferSource : public XsvfByteSource {
 public:
  BufferSource(const uint8_t* data, size_t size) : data(data), size(size) {}
  bool ReadByte(uint8_t* byte) override {
    if (position == size) return false;
    *byte = data[position++];
    return true;
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t position = 0;
};

// The player's reading without the device: every command's operands are read
// into the player's own record with its readers, and checked by its rules. The
// device's answers cannot be known here: every shift is taken to match.
class ProgramCheck {
 public:
  explicit ProgramCheck(XsvfByteSource& program) : program(program) {}

  XsvfProgramCheck Run() {
    try {
      while (result.error == XsvfOk && !complete) ReadCommand();
    } catch (const XsvfDataEnded&) {
      result.error = XsvfProgramEnded;
    }
    if (complete) {
      uint8_t byte = 0;
      while (program.ReadByte(&byte)) ++result.bytesAfterComplete;
    }
    return result;
  }

 private:
  // Data that end here end between commands: inOperands stays false.
  void ReadCommand() {
    const size_t offset = program.count;
    uint8_t code = 0;
    ReadXsvfByte(program, code);
    result.commandOffset = offset;
    result.command = code;
    ++result.commands;
    result.inOperands = true;
    result.error = ReadOperands(code);
    result.inOperands = false;
  }

  int ReadOperands(uint8_t code) {
    SXsvfInfo& player = *info;
    switch (code) {
      case XCOMPLETE:
        complete = true;
        return XsvfOk;
      case XTDOMASK:
        ReadVector(program, player.tdoMask, player.shiftLengthBytes);
        return XsvfOk;
      case XSIR:
        return ReadInstruction(Word(1));
      case XSIR2:
        return ReadInstruction(Word(2));
      case XSDR:
        ReadVector(program, player.tdi, player.shiftLengthBytes);
        Shifted(player.endDrState, player.runTestTime);
        return XsvfOk;
      case XRUNTEST:
        player.runTestTime = Word(4);
        return XsvfOk;
      case XREPEAT:
        ReadXsvfByte(program, player.maxRepeat);
        return XsvfOk;
      case XSDRSIZE:
        return ReadDataLength(Word(4));
      case XSDRTDO:
        ReadDataAndExpected();
        Shifted(player.endDrState, player.runTestTime);
        return XsvfOk;
      case XSETSDRMASKS:
        ReadVector(program, player.addressMask, player.shiftLengthBytes);
        ReadVector(program, player.dataMask, player.shiftLengthBytes);
        return XsvfOk;
      case XSDRINC:
        ReadIncrements();
        return XsvfOk;
      case XSDRB: case XSDRC: case XSDRE:
        ReadVector(program, player.tdi, player.shiftLengthBytes);
        Shifted(code == XSDRE ? player.endDrState : uint8_t{TapDrShift}, 0);
        return XsvfOk;
      case XSDRTDOB: case XSDRTDOC: case XSDRTDOE:
        ReadDataAndExpected();
        Shifted(code == XSDRTDOE ? player.endDrState : uint8_t{TapDrShift}, 0);
        return XsvfOk;
      case XSTATE:
        return Move(static_cast<uint8_t>(Word(1)));
      case XENDIR: case XENDDR:
        return ReadEndState(code);
      case XCOMMENT:
        SkipComment();
        return XsvfOk;
      case XWAIT:
        return ReadWait();
      default:
        return XsvfUnsupported;
    }
  }

  // A big-endian operand of `bytes` bytes, read as the player reads numbers.
  int32_t Word(int16_t bytes) {
    ReadVector(program, info->tdi, bytes);
    return VectorValue(info->tdi);
  }

  int ReadInstruction(int32_t bits) {
    if (!FitsVector(bits)) return XsvfDataOverflow;
    ReadVector(program, info->tdi, static_cast<int16_t>(BytesForBits(bits)));
    ShiftedBits(bits, info->endIrState, info->runTestTime);
    return XsvfOk;
  }

  int ReadDataLength(int32_t bits) {
    if (!FitsVector(bits)) return XsvfDataOverflow;
    info->shiftLengthBits = bits;
    info->shiftLengthBytes = static_cast<int16_t>(BytesForBits(bits));
    return XsvfOk;
  }

  void ReadDataAndExpected() {
    ReadVector(program, info->tdi, info->shiftLengthBytes);
    ReadVector(program, info->tdoExpected, info->shiftLengthBytes);
  }

  void ReadIncrements() {
    SXsvfInfo& player = *info;
    ReadVector(program, player.tdi, player.shiftLengthBytes);
    Shifted(player.endDrState, player.runTestTime);
    const int16_t pieceBytes = static_cast<int16_t>(BytesForBits(
        CountOneBits(player.dataMask.value, static_cast<size_t>(player.dataMask.length))));
    uint8_t pieces = 0;
    ReadXsvfByte(program, pieces);
    for (int i = 0; i < pieces; ++i) {
      ReadVector(program, player.nextData, pieceBytes);
      Shifted(player.endDrState, player.runTestTime);
    }
  }

  int ReadEndState(uint8_t code) {
    uint8_t pauseAtEnd = 0;
    ReadXsvfByte(program, pauseAtEnd);
    if (!IsEndStateOperand(pauseAtEnd)) return XsvfIllegalState;
    if (code == XENDIR) {
      info->endIrState = pauseAtEnd ? TapIrPause : TapIdle;
    } else {
      info->endDrState = pauseAtEnd ? TapDrPause : TapIdle;
    }
    return XsvfOk;
  }

  int ReadWait() {
    const uint8_t waitState = static_cast<uint8_t>(Word(1));
    const uint8_t endState = static_cast<uint8_t>(Word(1));
    Word(4);
    if (!IsLegalMove(tapState, waitState) || !IsLegalMove(waitState, endState)) {
      return XsvfIllegalState;
    }
    tapState = endState;
    return XsvfOk;
  }

  void SkipComment() {
    uint8_t byte = 0;
    do {
      ReadXsvfByte(program, byte);
    } while (byte != 0);
  }

  int Move(uint8_t target) {
    if (!IsLegalMove(tapState, target)) return XsvfIllegalState;
    tapState = target;
    return XsvfOk;
  }

  // Where a data-register shift of the current length leaves the controller.
  void Shifted(uint8_t endState, int32_t wait) {
    ShiftedBits(info->shiftLengthBits, endState, wait);
  }

  // As the shift engine leaves it after a shift that matched: in RUNTEST/IDLE
  // after a wait, else in the end state (where it stands for a shift of no bits).
  void ShiftedBits(int32_t bits, uint8_t endState, int32_t wait) {
    if (wait != 0) {
      tapState = TapIdle;
    } else if (bits != 0) {
      tapState = endState;
    }
  }

  CountedSource program;
  // The player's record, on the heap as the player keeps it (seven vectors).
  std::unique_ptr<SXsvfInfo> info = std::make_unique<SXsvfInfo>();
  uint8_t tapState = TapReset;  // where the player's reset leaves it
  bool complete = false;
  XsvfProgramCheck result;
};

}  // namespace

XsvfProgramCheck CheckXsvfProgram(XsvfByteSource& program) {
  return ProgramCheck(program).Run();
}

XsvfProgramCheck CheckXsvfProgram(const uint8_t* data, size_t size) {
  BufferSource source(data, size);
  return CheckXsvfProgram(source);
}
