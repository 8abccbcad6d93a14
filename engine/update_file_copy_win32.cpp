// The private copy in a temporary file of the user's temporary folder, opened for
// this process alone and marked to be deleted when it is closed (also when the
// program ends), read at an offset given with each read so that several updates
// read it at once.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "engine/update_file_copy.h"

struct UpdateFileCopy::Platform {
  HANDLE file = INVALID_HANDLE_VALUE;
};

UpdateFileCopy::UpdateFileCopy() : platform(std::make_unique<Platform>()) {}

UpdateFileCopy::~UpdateFileCopy() {
  if (platform->file != INVALID_HANDLE_VALUE) CloseHandle(platform->file);
}

std::FILE* UpdateFileCopy::BinaryStandardInput() {
  // In text mode the C library would turn carriage returns and line feeds into
  // line ends and stop at a Ctrl-Z: the update file's bytes must pass as they are.
  return _setmode(_fileno(stdin), _O_BINARY) == -1 ? nullptr : stdin;
}

bool UpdateFileCopy::Create() {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "upd", 0, name) == 0) {
    return false;
  }
  platform->file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (platform->file == INVALID_HANDLE_VALUE) DeleteFileA(name);
  return platform->file != INVALID_HANDLE_VALUE;
}

namespace {

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// Pieces that a DWORD count holds.
constexpr size_t kMaxPiece = 1u << 30;

}  // namespace

bool UpdateFileCopy::Append(const uint8_t* data, size_t count) {
  while (count > 0) {
    OVERLAPPED position = At(size);
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(count < kMaxPiece ? count : kMaxPiece);
    if (!WriteFile(platform->file, data, piece, &written, &position) || written == 0) return false;
    data += written;
    count -= written;
    size += written;
  }
  return true;
}

size_t UpdateFileCopy::ReadAt(uint64_t offset, uint8_t* to, size_t count) const {
  if (platform->file == INVALID_HANDLE_VALUE || offset >= size) return 0;
  if (count > size - offset) count = static_cast<size_t>(size - offset);
  size_t done = 0;
  while (done < count) {
    OVERLAPPED position = At(offset + done);
    DWORD got = 0;
    const DWORD piece = static_cast<DWORD>(count - done < kMaxPiece ? count - done : kMaxPiece);
    if (!ReadFile(platform->file, to + done, piece, &got, &position) || got == 0) break;
    done += got;
  }
  return done;
}
