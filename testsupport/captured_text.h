#pragma once
// What a test reads back of text a program or command printed.

#include <cstdio>
#include <string>
#include <vector>

// Everything written to `file` (a std::tmpfile standing in for standard output
// or error), read from its start; the file is closed.
std::string ContentsAndClose(std::FILE* file);

// The text's lines, without their line ends.
std::vector<std::string> Lines(const std::string& text);
