#pragma once
// Where the SVF text comes from and where the XSVF program goes.
//
// The input is read at any offset: the reader goes forward through the
// statements, and for a scan too long to hold it comes back to the vector's
// digits and reads them again from their least significant end, in pieces. The
// output takes the program's bytes in order, as they are made.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "xsvf/output_file.h"

class SvfInput {
 public:
  virtual ~SvfInput() = default;
  // Reads up to `count` bytes at `offset` into `buffer`. Returns the number read,
  // short only at the end of the input, or -1 when the input cannot be read.
  virtual int64_t ReadAt(uint64_t offset, char* buffer, size_t count) = 0;
};

// SVF text held by the caller (tests, the fuzz target); it must outlive the input.
class SvfTextInput : public SvfInput {
 public:
  SvfTextInput(const char* data, size_t size) : data(data), size(size) {}
  explicit SvfTextInput(const std::string& text) : SvfTextInput(text.data(), text.size()) {}
  explicit SvfTextInput(std::string&&) = delete;  // it would not outlive the input
  int64_t ReadAt(uint64_t offset, char* buffer, size_t count) override;

 private:
  const char* data;
  size_t size;
};

// An SVF file, read in place.
class SvfFileInput : public SvfInput {
 public:
  // False when the file cannot be opened.
  bool Open(const std::string& path);
  int64_t ReadAt(uint64_t offset, char* buffer, size_t count) override;

 private:
  std::ifstream file;
};

class XsvfOutput {
 public:
  virtual ~XsvfOutput() = default;
  // Appends bytes to the program; false when they cannot be written.
  virtual bool Write(const uint8_t* bytes, size_t count) = 0;
};

// The program in memory (mkupd packs it; --listing lists it).
class XsvfBytesOutput : public XsvfOutput {
 public:
  bool Write(const uint8_t* bytes, size_t count) override;
  const std::vector<uint8_t>& Bytes() const { return bytes; }

 private:
  std::vector<uint8_t> bytes;
};

// The program written to a file as it is made, through a temporary file that
// replaces the target only on Commit: a conversion that fails leaves an existing
// file as it was.
class XsvfFileOutput : public XsvfOutput {
 public:
  explicit XsvfFileOutput(const std::string& path) : file(path) {}
  // False when the temporary file cannot be created.
  bool Open() { return file.Open(); }
  bool Write(const uint8_t* bytes, size_t count) override;
  // Puts the program in place; false when its bytes could not all be written.
  bool Commit() { return file.Commit(); }

 private:
  AtomicFile file;
};
