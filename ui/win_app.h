#pragma once
// The application object. A program defines exactly one global object derived
// from CWinApp, and a WinMain that hands over to AfxWinMain, which calls the
// object's InitInstance. Returning false from InitInstance ends the program at
// once; returning true enters a message loop that runs until the thread's quit
// message.

#include <windows.h>

#include <string>

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual bool InitInstance() = 0;

  // The application's name: the executable's file name without its extension.
  // Message boxes are captioned with it.
  const std::string& AppName() const { return appName; }

  HINSTANCE Instance() const { return instance; }

 private:
  friend int AfxWinMain(HINSTANCE instance);
  int Run();

  HINSTANCE instance = nullptr;
  std::string appName;
};

// Runs the application object; WinMain returns its result.
int AfxWinMain(HINSTANCE instance);

// Module handle of the running program (its resources: templates, icons).
HINSTANCE AfxGetInstanceHandle();

// Asks for the common controls (progress bars) and the platform's styling of
// dialog controls. False if the platform refused.
bool EnableControlStyling();

// A message box with an OK button and a warning icon, captioned with the
// application's name; returns when the user has acknowledged it. `owner` may be
// nullptr.
void ShowWarningBox(HWND owner, const std::string& text);
