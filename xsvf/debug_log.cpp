#include "xsvf/debug_log.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#include "xsvf/output_file.h"

bool DebugLevelEnabled(int level) {
  return level <= kDebugLogLevel;
}

bool XsvfDebugLog::Open() {
  Close();
  // Binary mode: the line-end translation is done here, the same on every platform.
  // A symbolic link at the log's name is refused rather than followed, so that a
  // link planted in the working folder cannot have the log overwrite its target.
  file = CreateNoFollow(path);
  return file != nullptr;
}

void XsvfDebugLog::Close() {
  if (!file) return;
  std::fclose(file);
  file = nullptr;
}

// Writes `count` bytes with text-mode line ends: "\n" becomes CR LF. The text
// between line ends goes out in one piece.
void XsvfDebugLog::WriteTranslated(const char* text, size_t count) {
  if (!file) return;
  const char* const end = text + count;
  while (text < end) {
    const void* found = std::memchr(text, '\n', static_cast<size_t>(end - text));
    const char* lineEnd = found ? static_cast<const char*>(found) : end;
    std::fwrite(text, 1, static_cast<size_t>(lineEnd - text), file);
    if (lineEnd == end) return;
    std::fputs("\r\n", file);
    text = lineEnd + 1;
  }
}

// Formats into a buffer on the stack, which every line of the log fits; only a
// longer text takes one from the heap. Every command writes lines, so writing one
// must not allocate.
void XsvfDebugLog::WriteFormatted(const char* format, va_list args) {
  char line[256];
  va_list retry;
  va_copy(retry, args);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
    WriteTranslated(line, static_cast<size_t>(length));
  } else if (length > 0) {
    std::vector<char> longer(static_cast<size_t>(length) + 1);
    std::vsnprintf(longer.data(), longer.size(), format, retry);
    WriteTranslated(longer.data(), static_cast<size_t>(length));
  }
  va_end(retry);
}

void XsvfDebugLog::WriteText(const char* text) {
  WriteTranslated(text, std::strlen(text));
}

void XsvfDebugLog::Log(int level, const char* format, ...) {
  if (!file || !DebugLevelEnabled(level)) return;
  va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
}

void XsvfDebugLog::DumpVector(const SBitVector* vector) {
  if (!file || !vector) return;
  static const char kDigits[] = "0123456789abcdef";
  std::fputs("0x", file);
  // Two lowercase hex digits per byte, handed to the stream a buffer at a time.
  char digits[256];
  size_t used = 0;
  for (int i = 0; i < vector->length; ++i) {
    digits[used++] = kDigits[vector->value[i] >> 4];
    digits[used++] = kDigits[vector->value[i] & 0x0F];
    if (used == sizeof digits) {
      std::fwrite(digits, 1, used, file);
      used = 0;
    }
  }
  std::fwrite(digits, 1, used, file);
}

void XsvfDebugLog::LogVector(int level, const char* label, const SBitVector* vector) {
  if (!DebugLevelEnabled(level)) return;
  WriteText(label);
  DumpVector(vector);
  WriteText("\n");
}

std::string XsvfDebugLog::OpenFailureText() const {
  std::vector<char> text(path.size() + 64);
  std::snprintf(text.data(), text.size(), debug_log_platform::OpenFailureFormat(),
                path.c_str());
  return text.data();
}
