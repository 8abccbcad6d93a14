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

// Reads `directory` + "update.cfg". False for a missing file, a missing second
// line, a second line without "Port=", or no digit right after "Port=" (only that
// one character counts). Both CR LF and a lone LF end a line.
bool LoadSettings(const std::string& directory, std::string* path, int* portIndex);

// Writes `directory` + "update.cfg" with the platform's line ends; `portIndex` is
// -1 when no port is selected. A file that cannot be written is silently skipped.
void SaveSettings(const std::string& directory, const std::string& path, int portIndex);
