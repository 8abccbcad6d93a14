#pragma once
// Text from outside the program made safe to show: an update file's target names
// and version token, an XSVF program's comments, paths, what a device or the
// system says about a port. Whatever such text holds, it must not move the
// cursor, clear the screen, start a line of its own or make JSON invalid.
//
// On a terminal (TerminalText):
//   - valid UTF-8 that prints stays as it is ("Zähler", "Ω");
//   - a control byte (0x00 to 0x1F) and DEL show as \xNN: ESC[2J as \x1b[2J, a line
//     end as \x0a;
//   - a byte that is not part of valid UTF-8 shows as \xNN (a Latin-1 "ä" as \xe4);
//   - a C1 control written in UTF-8 (U+0080 to U+009F), the marks that reorder
//     text for right-to-left scripts (U+061C, U+200E, U+200F, U+202A to U+202E,
//     U+2066 to U+2069) and the line and paragraph separators (U+2028, U+2029)
//     show as \uNNNN.
// A backslash stays a backslash: Windows paths read as they are written.
//
// In JSON a text is valid UTF-8 always: a byte that is not part of valid UTF-8
// stands for the Latin-1 character of that number (JsonUtf8: 0xE4 becomes "ä",
// 0x9B the C1 control U+009B), the character set the Windows tools that write
// update files use; and controls, DEL, C1 controls and the marks above are written
// as JSON escapes (\n, \u001b, \u202e; WithJsonEscapes for what the JSON writer
// leaves as it is).

#include <cstddef>
#include <string>
#include <string_view>

// One line for a terminal: every control escaped, line ends included.
std::string TerminalText(std::string_view text);

// Lines of the program's own with outside text in them (a message with a path
// or a version token): as TerminalText, but the line ends stay line ends.
std::string TerminalLines(std::string_view text);

// text as valid UTF-8: each byte that is not part of valid UTF-8 becomes the
// Latin-1 character of that number.
std::string JsonUtf8(std::string_view text);

// A JSON text (valid UTF-8, as JsonUtf8 makes its strings) with DEL, the C1
// controls and the marks that reorder or break text written as \uNNNN escapes,
// which every JSON reader reads back as the same characters. These characters
// may stand only inside strings, so the escapes leave the document as it is.
std::string WithJsonEscapes(std::string_view json);

// The columns that text made by TerminalText takes: one per character.
size_t TextColumns(std::string_view shown);

// The first `columns` characters of text made by TerminalText; never cuts a
// character in two.
std::string FitColumns(std::string_view shown, size_t columns);

// shown, padded with blanks to `columns` characters.
std::string PadColumns(std::string_view shown, size_t columns);
