#pragma once
// The program's numbered messages (engine/messages.def, one table for every front
// end) and printf-style formatting of them.

#include <string>

enum Message : int {
#define MESSAGE(name, id, text) name = id,
#include "engine/messages.def"
#undef MESSAGE
};

// The text of a message exactly as the string table holds it; "" for an unknown id.
const char* MessageText(int id);

// The message formatted with printf-style arguments.
std::string FormatMessageText(int id, ...);

// The message for an error code of the XSVF player (xsvf/xsvf_interpreter.h);
// "unknown error" for a code without one. The text lives as long as the program.
const char* XsvfErrorText(int code);
