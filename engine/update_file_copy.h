#pragma once
// A private copy of an update file: the bytes an update is checked, hashed and
// programmed from, whatever becomes of the file on disk once it was copied. It is
// a temporary file that the system deletes when the copy is dropped (or the
// program ends), held open and never written again; reading it takes a small
// buffer whatever the file's size, so that a large file costs disk, not memory.
// Several updates read one copy at once, each at its own offset.
//
// The temporary file is the platform's: an unnamed one in the system's temporary
// folder on POSIX systems (update_file_copy_posix.cpp), one marked for deletion
// on close in the user's temporary folder on Windows (update_file_copy_win32.cpp).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The most an update file can hold: ten records of at most 0x7FFFFFFF stored
// bytes each, and 1 MiB for its header, the record headers and its trailer. A
// copy stops there, so that a pipe that never ends cannot fill the disk.
constexpr uint64_t kMaxUpdateFileBytes = 10 * uint64_t{0x7FFFFFFF} + (uint64_t{1} << 20);

// The path that stands for standard input, read to its end like a pipe.
constexpr const char* kStandardInputPath = "-";

class UpdateFileCopy {
 public:
  // Copies the file at `path` ("-": standard input), whatever it is, a pipe
  // included, up to `limit` bytes. Null with the message for the user:
  // MsgFileNotFound when it is not there, MsgFileNotOpened with the system's
  // reason when it cannot be opened otherwise, MsgFileNotReadable when it cannot
  // be read to its end, MsgInputTooLong when it goes on beyond the limit,
  // MsgFileNotCopied when the copy cannot be written.
  static std::shared_ptr<const UpdateFileCopy> Make(const std::string& path, std::string* message,
                                                    uint64_t limit = kMaxUpdateFileBytes);
  // A copy of bytes in memory (the tools' own files, tests); null if the
  // temporary file cannot be written.
  static std::shared_ptr<const UpdateFileCopy> FromBytes(const uint8_t* data, size_t size);

  // An empty copy, of no file.
  UpdateFileCopy();
  ~UpdateFileCopy();
  UpdateFileCopy(const UpdateFileCopy&) = delete;
  UpdateFileCopy& operator=(const UpdateFileCopy&) = delete;

  uint64_t Size() const { return size; }
  // Reads up to `count` bytes from `offset` on; how many were read (0 at the end).
  size_t ReadAt(uint64_t offset, uint8_t* to, size_t count) const;

 private:
  // The platform's part: standard input in byte mode, a new temporary file, bytes
  // appended to it, reads at an offset, and the file closed (and so deleted) with
  // the copy.
  static std::FILE* BinaryStandardInput();
  bool Create();
  bool Append(const uint8_t* data, size_t count);

  struct Platform;
  std::unique_ptr<Platform> platform;
  uint64_t size = 0;
};
