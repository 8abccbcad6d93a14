#include "app/warning_dlg.h"

#include "app/update_dlg.h"
#include "engine/messages.h"
#include "resources/resource.h"

CWarningDlg::CWarningDlg(int messageId, CUpdateDlg* owner)
    : CDialog(IDD_WARNING, owner->Handle()), messageText(MessageText(messageId)), owner(owner) {}

bool CWarningDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  Item(IDC_WARNING_TEXT).SetText(messageText);
  return true;  // the focus goes to Yes
}

// The owner's handlers destroy this window, and with it this object.
void CWarningDlg::OnCommand(int id) {
  if (id == IDC_WARNING_YES) {
    owner->CancelConfirmed();
  } else if (id == IDC_WARNING_NO) {
    owner->CloseWarning();
  } else {
    CDialog::OnCommand(id);
  }
}

void CWarningDlg::OnCancel() {
  owner->CloseWarning();
}

void CWarningDlg::PostNcDestroy() {
  delete this;
}
