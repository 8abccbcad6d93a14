#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "xsvf/output_file.h"

namespace {

// Opens for writing with the given creation rule, refusing a symbolic link (a
// reparse point) at the name; the stream owns the handle.
std::FILE* OpenStream(const std::string& path, DWORD creation, FileMode mode) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return nullptr;
  }
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link that appeared since as itself
  // rather than the file it points to.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, creation,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                         mode == FileMode::Text ? _O_TEXT : _O_BINARY);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, mode == FileMode::Text ? "wt" : "wb");
  if (!file) _close(descriptor);
  return file;
}

// The volume and index that identify a file, whatever path reaches it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, information) != 0;
  CloseHandle(handle);
  return known;
}

}  // namespace

std::FILE* CreateNoFollow(const std::string& path) {
  return OpenStream(path, CREATE_ALWAYS, FileMode::Binary);
}

bool SameFile(const std::string& first, const std::string& second) {
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  return FileIdentity(first, &a) && FileIdentity(second, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

namespace output_file_platform {

std::FILE* CreateExclusive(const std::string& path, FileMode mode) {
  return OpenStream(path, CREATE_NEW, mode);
}

bool SyncToDisk(std::FILE* file) {
  return _commit(_fileno(file)) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

unsigned long ProcessNumber() {
  return GetCurrentProcessId();
}

}  // namespace output_file_platform
