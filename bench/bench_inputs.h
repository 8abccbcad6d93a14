#pragma once
// The inputs every benchmark uses: firmware images and the benchmark's XSVF
// program, generated from a fixed seed so that every run sends the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A firmware image of `size` bytes: mostly varied bytes, with a stretch of erased
// (0xFF) bytes now and then, as images padded to page boundaries have.
std::vector<uint8_t> MakeFirmwareImage(size_t size);

// The commands of one row of the benchmark program: program a row, read it back.
constexpr size_t kCommandsPerRow = 16;

// The benchmark's XSVF program in text form (xsvf/xsvf_text.h) with about
// `commands` commands, at least one row's worth. It plays like a CPLD's
// programming run: an IDCODE check, then per row of 281 bits the program
// instruction, the row's data with a 10 ms run-test wait, and a read-back of the
// row through a 7-bit address shift ending in DRPAUSE, an XWAIT there, and the
// compared data shift. Every comparison passes on a chip that answers as the
// program expects (devsim's script:FILE chip).
std::string BenchmarkProgramText(size_t commands);

// The same program assembled. Never fails: the text is well formed.
std::vector<uint8_t> BenchmarkProgram(size_t commands);
