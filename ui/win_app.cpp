#include "ui/win_app.h"

#include <commctrl.h>

namespace {

CWinApp* theApp = nullptr;

// The file name part of a module path, without its extension.
std::string BaseNameWithoutExtension(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

CWinApp::CWinApp() {
  theApp = this;
}

CWinApp::~CWinApp() {
  if (theApp == this) theApp = nullptr;
}

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

HINSTANCE AfxGetInstanceHandle() {
  return theApp && theApp->Instance() ? theApp->Instance() : GetModuleHandleA(nullptr);
}

bool EnableControlStyling() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  return InitCommonControlsEx(&controls) != FALSE;
}

void ShowWarningBox(HWND owner, const std::string& text) {
  const char* caption = theApp ? theApp->AppName().c_str() : "";
  MessageBoxA(owner, text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

int AfxWinMain(HINSTANCE instance) {
  if (!theApp) return 1;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  theApp->appName = BaseNameWithoutExtension(path);
  theApp->instance = instance;
  return theApp->InitInstance() ? theApp->Run() : 0;
}
