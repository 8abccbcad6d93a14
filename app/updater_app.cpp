#include "app/updater_app.h"

#include "app/update_dlg.h"

CUpdaterApp theApp;

bool CUpdaterApp::InitInstance() {
  EnableControlStyling();  // the program looks plainer without it, nothing more
  CUpdateDlg dialog;
  dialog.DoModal();
  // The process lives as long as the dialog: no message loop follows.
  return false;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return AfxWinMain(instance);
}
