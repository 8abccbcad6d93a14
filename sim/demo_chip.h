#pragma once
// The demo device: a made-up flash memory chip with a JTAG port, simple enough to
// write XSVF programs for by hand, strict enough that a program which erases,
// programs and verifies it passes only if every bit reaches its place.
//
// Instruction register: 8 bits; Capture-IR loads 0x01 (low bits 01, as IEEE
// 1149.1 requires). Test-Logic-Reset selects IDCODE. Opcodes and the data
// register each one selects (bit 0 is shifted first; in an XSVF vector it is the
// lowest bit of the last byte):
//
//   0x01 IDCODE        32 bits  captures kIdcode (version 1, part 0xDE40,
//                               manufacturer 0x0AB, bit 0 set)
//   0x02 ERASE          1 bit   loading it (Update-IR) starts an erase: after
//                               kEraseMicroseconds in Run-Test/Idle every word
//                               reads 0xFFFFFFFF
//   0x03 PROGRAM       40 bits  bits 39..32 address, 31..0 data. Update-DR starts
//                               programming: after kProgramMicroseconds in
//                               Run-Test/Idle the word at the address becomes
//                               word AND data (programming clears bits, as in
//                               flash; only an erase sets them). Captures 0.
//   0x04 READ          40 bits  captures the read address (39..32) and the word
//                               there (31..0); Update-DR sets the read address
//                               for the next capture (reads are pipelined)
//   0x05 PAGE_PROGRAM 2056 bits bits 2055..2048 page, then word w of the page in
//                               bits 32w+31..32w. Update-DR starts programming
//                               the page's 64 words, done after
//                               kPageProgramMicroseconds in Run-Test/Idle.
//                               Captures 0.
//   0x06 PAGE_READ    2056 bits same layout: captures the read page and its
//                               words; Update-DR sets the read page
//   0xFF BYPASS         1 bit   captures 0; every other opcode acts as BYPASS
//
// Memory: kWords 32-bit words in kPages pages of kPageWords words, all ones when
// new. One operation runs at a time: it counts the time the port rests in
// Run-Test/Idle until its time is reached. Starting another operation before
// then, a reset, or an address beyond the memory discards it (counted).

#include <array>
#include <cstdint>
#include <vector>

#include "sim/jtag_chip.h"
#include "sim/shift_register.h"

class DemoChip : public JtagChip {
 public:
  enum Instruction : uint8_t {
    Idcode = 0x01,
    Erase = 0x02,
    Program = 0x03,
    Read = 0x04,
    PageProgram = 0x05,
    PageRead = 0x06,
    Bypass = 0xFF,
  };

  static constexpr uint32_t kIdcode = 0x1DE40157;
  static constexpr int kIrLength = 8;
  static constexpr uint8_t kIrCapture = 0x01;
  static constexpr int kAddressBits = 8;
  static constexpr int kWordBits = 32;
  static constexpr int kPageWords = 64;
  static constexpr int kPages = 2;
  static constexpr int kWords = kPageWords * kPages;
  static constexpr int kWordRegisterLength = kWordBits + kAddressBits;
  static constexpr int kPageRegisterLength = kPageWords * kWordBits + kAddressBits;
  static constexpr uint32_t kEraseMicroseconds = 2000;
  static constexpr uint32_t kProgramMicroseconds = 100;
  static constexpr uint32_t kPageProgramMicroseconds = 1000;

  using Memory = std::array<uint32_t, kWords>;

  DemoChip();

  void Reset() override;
  void Capture(ScanKind kind) override;
  bool Shift(ScanKind kind, bool tdi) override;
  void Update(ScanKind kind) override;
  void RunTestIdle(uint32_t microseconds) override;

  const Memory& Words() const { return memory; }
  Memory& Words() { return memory; }
  uint8_t CurrentInstruction() const { return instruction; }
  uint32_t CompletedOperations() const { return completedOperations; }
  uint32_t DiscardedOperations() const { return discardedOperations; }

 private:
  enum class Operation : uint8_t { None, Erase, Program };

  struct Pending {
    Operation operation = Operation::None;
    uint32_t firstWord = 0;
    std::vector<uint32_t> data;  // ANDed into the words from firstWord on
    uint32_t remainingMicroseconds = 0;
  };

  std::vector<bool> CaptureData() const;
  void UpdateData(const std::vector<bool>& bits);
  void Start(Pending operation);
  void Finish();

  Memory memory;
  uint8_t instruction = Idcode;
  uint8_t readAddress = 0;
  uint8_t readPage = 0;
  ShiftRegister instructionRegister;
  ShiftRegister dataRegister;
  Pending pending;
  uint32_t completedOperations = 0;
  uint32_t discardedOperations = 0;
};
