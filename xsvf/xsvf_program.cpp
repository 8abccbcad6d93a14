#include "xsvf/xsvf_program.h"

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
