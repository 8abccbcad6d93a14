#pragma once
// Whole files as bytes, in byte mode (no line-end translation on any platform),
// for the tools and the tests.

#include <cstdint>
#include <string>
#include <vector>

// Appends the file's bytes to *bytes. False if it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

// Writes the file, replacing it. False if it cannot be written whole.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
