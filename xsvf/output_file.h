#pragma once
// Files that the programs write where a user points them, written so that what
// was there before is never damaged by accident:
//
// - CreateNoFollow opens a file for writing without following a symbolic link at
//   its name: a link there is refused, so that a link planted in the working
//   folder cannot make the program overwrite the file it points to.
// - AtomicFile writes a file whole or not at all: the bytes go to a new file
//   beside the target ("NAME.PID-N.tmp", created exclusively, never through a
//   link), which Commit renames over the target once every write has succeeded.
//   A failed or killed run leaves an existing target as it was.
// - SameFile tells whether two names reach one file, through links or another
//   spelling of the path, so that a program can refuse to write over its input.
//
// The platform parts (O_NOFOLLOW and rename on POSIX; CreateFile and MoveFileEx on
// Windows) are in output_file_posix.cpp and output_file_win32.cpp.

#include <cstddef>
#include <cstdio>
#include <string>

// Creates `path` or empties an existing file, for writing in binary mode; null
// when it cannot be opened, also when `path` is a symbolic link.
std::FILE* CreateNoFollow(const std::string& path);

// True when both paths name one existing file.
bool SameFile(const std::string& first, const std::string& second);

// Text mode writes each "\n" as the platform's line end (CR LF on Windows).
enum class FileMode { Binary, Text };

class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  // Without a Commit, the temporary file is removed and the target left alone.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false when it cannot be created.
  bool Open(FileMode mode = FileMode::Binary);
  // Appends bytes; false once any write has failed.
  bool Write(const void* bytes, size_t count);
  // Hands what was written so far to the file system, so that the temporary file
  // can be read back before the commit; false once any write has failed.
  bool Flush();
  // The temporary file's name while it is open, to read it back.
  const std::string& TemporaryPath() const { return temporary; }
  // Flushes the bytes to the disk and renames the temporary file over the target;
  // false (the target left as it was) when a write, the flush or the rename failed.
  bool Commit();
  const std::string& Path() const { return path; }

 private:
  void Discard();

  std::string path;
  std::string temporary;
  std::FILE* file = nullptr;
  bool ok = true;
};

// Writes a whole file through an AtomicFile; false when it cannot be written.
bool WriteFileAtomically(const std::string& path, const void* bytes, size_t count);

// The platform parts.
namespace output_file_platform {
// Creates `path` exclusively (it must not exist; a link there counts as existing).
std::FILE* CreateExclusive(const std::string& path, FileMode mode);
// Writes what the stream holds through to the disk.
bool SyncToDisk(std::FILE* file);
// Renames `from` over `to`, replacing `to` if it exists.
bool RenameOver(const std::string& from, const std::string& to);
// A number that differs between processes running at the same time.
unsigned long ProcessNumber();
}  // namespace output_file_platform
