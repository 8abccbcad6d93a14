#include "app/updater_app.h"

#include "app/update_dlg.h"
#include "engine/host.h"

namespace {

// The worker's one message to the user, shown like the dialog's own.
void ShowWorkerMessage(const char* text) {
  ShowWarningBox(nullptr, text);
}

}  // namespace

CUpdaterApp theApp;

bool CUpdaterApp::InitInstance() {
  EnableControlStyling();  // the program looks plainer without it, nothing more
  SetShowMessage(ShowWorkerMessage);
  CUpdateDlg dialog;
  dialog.DoModal();
  // The process lives as long as the dialog: no message loop follows.
  return false;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return AfxWinMain(instance);
}
