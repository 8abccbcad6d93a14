#pragma once
// The question asked before a running update is cancelled: a modeless window
// owned by the main dialog. Yes cancels; No, Escape and the close command let the
// update go on. The object deletes itself once its window is gone.

#include <string>

#include "ui/dialog.h"

class CUpdateDlg;

class CWarningDlg : public CDialog {
 public:
  CWarningDlg(int messageId, CUpdateDlg* owner);

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void OnCancel() override;
  void PostNcDestroy() override;

 private:
  std::string messageText;
  CUpdateDlg* owner;
};
