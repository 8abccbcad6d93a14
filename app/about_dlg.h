#pragma once
// The about box: the program's icon, name and version.

#include "ui/dialog.h"

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND parent);

 protected:
  bool OnInitDialog() override;
};
