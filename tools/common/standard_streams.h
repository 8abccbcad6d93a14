#pragma once
// Standard input and output where a program expects a file: the name "-" stands
// for them, as command-line users expect. Programs write binary data there, so
// the streams are switched to byte mode where the platform has a text mode
// (standard_streams_win32.cpp); POSIX streams have none (standard_streams_posix.cpp).

#include <cstdio>
#include <string>

// The name that stands for standard input or output.
constexpr const char* kStandardStreamName = "-";

inline bool IsStandardStream(const std::string& path) {
  return path == kStandardStreamName;
}

// Standard output in byte mode, or nullptr when it cannot be switched to it.
std::FILE* BinaryStandardOutput();

// Writes the bytes to standard output in byte mode; false when they do not all
// arrive (a full disk, a closed pipe).
bool WriteToStandardOutput(const void* bytes, size_t count);
