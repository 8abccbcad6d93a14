#pragma once
// The terminal update-cli shows its progress on, if it has one. Platform code
// lives in terminal_posix.cpp / terminal_win32.cpp.

#include <cstdio>

// Whether `out` is a terminal that takes the escape sequences of a redrawn block
// (not one with TERM=dumb, not a file or a pipe).
bool IsEscapeTerminal(std::FILE* out);

// The width of the terminal on standard output, in columns; 0 when it cannot be
// told. Asked again at every redraw, so that the block follows the terminal.
int TerminalWidth();
