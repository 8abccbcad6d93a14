#pragma once
// The XSVF run entry: plays the current update-file record's XSVF program through
// the device, with its debug log, and maps the player's error codes to messages.

// Plays the program of the record that the update-file reader stands at. Returns
// 0 when it ran to XCOMPLETE, otherwise the error code: 2 to 6 from the player,
// 7 when the user cancelled, 8 when the debug log could not be created, 9 to 13
// for the end of the program's data and link failures. Never throws.
//
// The run raises TMS and resets the TAP controller, plays command by command
// (updating the progress after each and looking at the cancel request), logs the
// result, and closes the JTAG work with the 'F' command unless the link failed
// or the program's data ran out.
int PlayXsvf();

// The message for an error code; "unknown error" for a code without one. The text
// is constant and lives as long as the program.
const char* XsvfErrorText(int code);

// The error's name in the debug log; codes without one take the name of code 1.
const char* XsvfErrorName(int code);
