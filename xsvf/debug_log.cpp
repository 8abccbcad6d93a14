#include "xsvf/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::FILE* logFile = nullptr;

// The German text is in the Windows code page on Windows (o umlaut = 0xF6) and in
// UTF-8 elsewhere, so that it shows correctly on each platform's message output.
#if defined(_WIN32)
constexpr const char* kOpenFailureFormat = "Debugdatei %s kann nicht ge\xF6" "ffnet werden !";
#else
constexpr const char* kOpenFailureFormat = "Debugdatei %s kann nicht ge\xC3\xB6" "ffnet werden !";
#endif

// Writes `count` bytes with text-mode line ends: "\n" becomes CR LF.
void WriteTranslated(const char* text, size_t count) {
  if (!logFile) return;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == '\n') std::fputc('\r', logFile);
    std::fputc(text[i], logFile);
  }
}

}  // namespace

bool DebugLevelEnabled(int level) {
  return level <= kDebugLogLevel;
}

bool OpenDebugLog() {
  CloseDebugLog();
  // Binary mode: the line-end translation is done here, the same on every platform.
  logFile = std::fopen(kDebugLogName, "wb");
  return logFile != nullptr;
}

void CloseDebugLog() {
  if (!logFile) return;
  std::fclose(logFile);
  logFile = nullptr;
}

void WriteDebugText(const char* text) {
  WriteTranslated(text, std::strlen(text));
}

void DebugLog(int level, const char* format, ...) {
  if (!logFile || !DebugLevelEnabled(level)) return;
  va_list args;
  va_start(args, format);
  va_list probe;
  va_copy(probe, args);
  const int length = std::vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    WriteTranslated(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
}

void DumpVector(const SBitVector* vector) {
  if (!logFile || !vector) return;
  std::fputs("0x", logFile);
  for (int i = 0; i < vector->length; ++i) std::fprintf(logFile, "%02x", vector->value[i]);
}

void LogVector(int level, const char* label, const SBitVector* vector) {
  if (!DebugLevelEnabled(level)) return;
  WriteDebugText(label);
  DumpVector(vector);
  WriteDebugText("\n");
}

std::string DebugLogOpenFailureText() {
  char text[128];
  std::snprintf(text, sizeof text, kOpenFailureFormat, kDebugLogName);
  return text;
}
