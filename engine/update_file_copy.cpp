#include "engine/update_file_copy.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/messages.h"

std::shared_ptr<const UpdateFileCopy> UpdateFileCopy::Make(const std::string& path,
                                                           std::string* message, uint64_t limit) {
  const bool standardInput = path == kStandardInputPath;
  errno = 0;
  std::FILE* source = standardInput ? BinaryStandardInput() : std::fopen(path.c_str(), "rb");
  if (source == nullptr) {
    // "Not found" only for a file that is not there; otherwise the system's
    // reason (no permission, a name too long), which tells the user what to mend.
    const int reason = errno;
    *message = reason == ENOENT || reason == 0
                   ? FormatMessageText(MsgFileNotFound, path.c_str())
                   : FormatMessageText(MsgFileNotOpened, path.c_str(), std::strerror(reason));
    return nullptr;
  }
  auto copy = std::make_shared<UpdateFileCopy>();
  bool written = copy->Create();
  uint8_t piece[64 * 1024];
  size_t count = 0;
  while (written && copy->size <= limit &&
         (count = std::fread(piece, 1, sizeof piece, source)) > 0) {
    written = copy->Append(piece, count);
  }
  const bool read = std::ferror(source) == 0;
  if (!standardInput) std::fclose(source);
  if (read && copy->size > limit) {
    *message = FormatMessageText(MsgInputTooLong, path.c_str(), std::to_string(limit).c_str());
    return nullptr;
  }
  if (!read) {
    *message = FormatMessageText(MsgFileNotReadable, path.c_str());
    return nullptr;
  }
  if (!written) {
    *message = FormatMessageText(MsgFileNotCopied, path.c_str());
    return nullptr;
  }
  return copy;
}

std::shared_ptr<const UpdateFileCopy> UpdateFileCopy::FromBytes(const uint8_t* data,
                                                                size_t size) {
  auto copy = std::make_shared<UpdateFileCopy>();
  if (!copy->Create() || (size > 0 && !copy->Append(data, size))) return nullptr;
  return copy;
}
