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

// A message without the line ends that some of the table's texts carry, for a
// front end that ends its lines itself.
std::string WithoutLineEnd(std::string text);

// The message for an error code of the XSVF player (xsvf/xsvf_interpreter.h);
// "unknown error" for a code without one. The text lives as long as the program.
const char* XsvfErrorText(int code);
