#pragma once
// The settings file update.cfg beside the executable: the last update file and
// the chosen serial port, two lines of text.
//
//   C:\Updates\device.upd      the path, possibly empty
//   Port=2                     index of the port entry: 0 for Com1 ... 9 for Com10
//
// Portable: the directory is given as text and simply prefixed to the file name.

#include <string>

// The directory part of a path, including its last backslash ("C:\Tools\" for
// "C:\Tools\app.exe"); empty when no backslash follows the first character.
std::string ExeDirectoryOf(const std::string& path);

// Reads `directory` + "update.cfg": false for a missing or empty file. A value
// that cannot be read loses only itself: the path of the first line is kept
// whatever the second holds, and the port is 0 (Com1) unless the second line has
// a digit right after "Port=" (only that one character counts), as after a save
// with no port selected. Both CR LF and a lone LF end a line.
bool LoadSettings(const std::string& directory, std::string* path, int* portIndex);

// Writes `directory` + "update.cfg" with the platform's line ends; `portIndex` is
// -1 when no port is selected. The lines go to a temporary file that replaces
// the old one only once it is written whole, so a kill or a full disk leaves the
// last settings as they were. False when the file cannot be written; the window
// says nothing of it.
bool SaveSettings(const std::string& directory, const std::string& path, int portIndex);
