#pragma once
// The XSVF player's debug log, "xsvf_debug.txt" in the working directory unless
// the update puts it elsewhere; open while one program is played.
//
// Every line passes a level gate: a line of level L is written when the log level
// is at least L, and carries L leading spaces. The level is fixed at 4, so every
// line of levels 0 to 4 is written.
//
// The file is a text file with Windows line ends on every platform: each "\n"
// written becomes CR LF on disk and "\r" is written unchanged, so a run produces
// the same bytes under Linux and Windows. Writes while the log is not open are
// dropped.

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>

#include "xsvf/xsvf_interpreter.h"

constexpr const char* kDebugLogName = "xsvf_debug.txt";
constexpr int kDebugLogLevel = 4;

// The level gate: true when lines of this level are written (and XSVF comments
// passed on).
bool DebugLevelEnabled(int level);

class XsvfDebugLog {
 public:
  explicit XsvfDebugLog(std::string path = kDebugLogName) : path(std::move(path)) {}
  ~XsvfDebugLog() { Close(); }
  XsvfDebugLog(const XsvfDebugLog&) = delete;
  XsvfDebugLog& operator=(const XsvfDebugLog&) = delete;

  // Creates the log (an existing file is overwritten). False if it cannot be
  // created, also when its name is a symbolic link: the link is not followed, and
  // neither it nor the file it points to is touched.
  bool Open();
  void Close();
  const std::string& Path() const { return path; }

  // Writes text as it stands, without the level gate.
  void WriteText(const char* text);

  // Writes printf-style text when the log level allows `level`.
  void Log(int level, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

  // Writes "0x" and the vector's bytes as lowercase hex digit pairs, or nothing
  // for a missing vector. No line end.
  void DumpVector(const SBitVector* vector);

  // One gated line: the label, the vector's dump and a line end.
  void LogVector(int level, const char* label, const SBitVector* vector);

  // The message for the user when the log cannot be created, naming the file.
  std::string OpenFailureText() const;

 private:
  void WriteTranslated(const char* text, size_t count);
  void WriteFormatted(const char* format, va_list args);

  std::string path;
  std::FILE* file = nullptr;
};

// The platform part, in debug_log_posix.cpp and debug_log_win32.cpp.
namespace debug_log_platform {
// The printf format of XsvfDebugLog::OpenFailureText, with %s for the file, in the
// character set of the platform's message output.
const char* OpenFailureFormat();
}  // namespace debug_log_platform
