#include "sim/demo_chip.h"

#include <utility>

namespace {

// Bits from..from+width-1 of a register as a number (width at most 32).
uint32_t Field(const std::vector<bool>& bits, size_t from, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 1) | (bits[from + i] ? 1u : 0u);
  return value;
}

void PutField(std::vector<bool>& bits, size_t from, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) bits[from + i] = (value >> i) & 1;
}

std::vector<bool> Number(int width, uint32_t value) {
  std::vector<bool> bits(width);
  PutField(bits, 0, width, value);
  return bits;
}

}  // namespace

DemoChip::DemoChip() { memory.fill(0xFFFFFFFF); }

void DemoChip::Reset() {
  instruction = Idcode;
  if (pending.operation != Operation::None) ++discardedOperations;
  pending = Pending();
}

void DemoChip::Capture(ScanKind kind) {
  if (kind == ScanKind::Instruction) {
    instructionRegister.Load(Number(kIrLength, kIrCapture));
  } else {
    dataRegister.Load(CaptureData());
  }
}

bool DemoChip::Shift(ScanKind kind, bool tdi) {
  return (kind == ScanKind::Instruction ? instructionRegister : dataRegister).Shift(tdi);
}

void DemoChip::Update(ScanKind kind) {
  if (kind == ScanKind::Data) {
    UpdateData(dataRegister.Contents());
    return;
  }
  instruction = static_cast<uint8_t>(Field(instructionRegister.Contents(), 0, kIrLength));
  if (instruction == Erase) {
    Pending erase;
    erase.operation = Operation::Erase;
    erase.remainingMicroseconds = kEraseMicroseconds;
    Start(std::move(erase));
  }
}

std::vector<bool> DemoChip::CaptureData() const {
  switch (instruction) {
    case Idcode:
      return Number(kWordBits, kIdcode);
    case Program:
      return std::vector<bool>(kWordRegisterLength);
    case Read: {
      std::vector<bool> bits(kWordRegisterLength);
      PutField(bits, 0, kWordBits, readAddress < kWords ? memory[readAddress] : 0);
      PutField(bits, kWordBits, kAddressBits, readAddress);
      return bits;
    }
    case PageProgram:
      return std::vector<bool>(kPageRegisterLength);
    case PageRead: {
      std::vector<bool> bits(kPageRegisterLength);  // a page beyond the memory reads 0
      for (int w = 0; readPage < kPages && w < kPageWords; ++w) {
        PutField(bits, w * kWordBits, kWordBits, memory[readPage * kPageWords + w]);
      }
      PutField(bits, kPageWords * kWordBits, kAddressBits, readPage);
      return bits;
    }
    default:
      return std::vector<bool>(1);  // BYPASS and every opcode without a register of its own
  }
}

void DemoChip::UpdateData(const std::vector<bool>& bits) {
  Pending program;
  program.operation = Operation::Program;
  switch (instruction) {
    case Program:
      program.firstWord = Field(bits, kWordBits, kAddressBits);
      program.data.push_back(Field(bits, 0, kWordBits));
      program.remainingMicroseconds = kProgramMicroseconds;
      Start(std::move(program));
      break;
    case Read:
      readAddress = static_cast<uint8_t>(Field(bits, kWordBits, kAddressBits));
      break;
    case PageProgram:
      program.firstWord = Field(bits, kPageWords * kWordBits, kAddressBits) * kPageWords;
      for (int w = 0; w < kPageWords; ++w) program.data.push_back(Field(bits, w * kWordBits, kWordBits));
      program.remainingMicroseconds = kPageProgramMicroseconds;
      Start(std::move(program));
      break;
    case PageRead:
      readPage = static_cast<uint8_t>(Field(bits, kPageWords * kWordBits, kAddressBits));
      break;
    default:
      break;
  }
}

void DemoChip::Start(Pending operation) {
  if (pending.operation != Operation::None) ++discardedOperations;
  pending = Pending();
  if (operation.firstWord + operation.data.size() > kWords) {
    ++discardedOperations;
    return;
  }
  pending = std::move(operation);
}

void DemoChip::RunTestIdle(uint32_t microseconds) {
  if (pending.operation == Operation::None) return;
  if (microseconds < pending.remainingMicroseconds) {
    pending.remainingMicroseconds -= microseconds;
    return;
  }
  Finish();
}

void DemoChip::Finish() {
  if (pending.operation == Operation::Erase) {
    memory.fill(0xFFFFFFFF);
  } else {
    for (size_t i = 0; i < pending.data.size(); ++i) memory[pending.firstWord + i] &= pending.data[i];
  }
  ++completedOperations;
  pending = Pending();
}
