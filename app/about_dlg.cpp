#include "app/about_dlg.h"

#include "resources/resource.h"
#include "updater_version.h"

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}

bool CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWnd versionLine = Item(IDC_VERSION_LINE);
  versionLine.SetText(versionLine.GetText() + " " + UPD_VERSION_TEXT);
  return true;
}
