#pragma once
// The platform's file-open dialog.

#include <windows.h>

#include <string>

struct FileOpenResult {
  bool chosen = false;  // the user chose a file
  std::string path;     // its full path
  DWORD error = 0;      // the platform's extended error when no file was chosen (0: cancelled)

  // The dialog did not open because it refused its initial file name.
  bool InitialNameRefused() const;
};

// Runs the open dialog (not the save dialog) modally for `owner`, with the
// read-only check box hidden; the chosen file need not exist. `filter` is pairs
// of a description and a pattern, every part followed by '|', the list ended by
// one more '|' ("Text (*.txt)|*.txt||"); the first pair is selected.
FileOpenResult RunFileOpenDialog(HWND owner, const std::string& filter,
                                 const char* defaultExtension, const std::string& initialName);
