#pragma once
// The terminal update-cli shows its progress on, if it has one. Platform code
// lives in terminal_posix.cpp / terminal_win32.cpp.

#include <cstdio>

// Whether `out` is a terminal that takes the escape sequences of a redrawn block
// (not one with TERM=dumb, not a file or a pipe).
bool IsEscapeTerminal(std::FILE* out);

// Whether pass and fail may be shown in colour on `out`: on a terminal that takes
// escape sequences (IsEscapeTerminal), unless NO_COLOR is set to anything but
// an empty text (no-color.org). On Windows this needs a console that takes the
// escape sequences, which IsEscapeTerminal asks for.
bool TakesColour(std::FILE* out);

// The width of the terminal on standard output, in columns; 0 when it cannot be
// told. Asked again at every redraw, so that the block follows the terminal.
int TerminalWidth();
