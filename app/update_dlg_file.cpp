// The main dialog's side of the update file: choosing it and checking its header.

#include <string>

#include "app/update_dlg.h"
#include "engine/messages.h"
#include "engine/update_file_check.h"
#include "engine/update_session.h"
#include "ui/file_dialog.h"

namespace {

const char kUpdateFilePattern[] = "*.upd";
const char kUpdateFileExtension[] = "upd";

}  // namespace

void CUpdateDlg::OnBrowse() {
  ReadWindow();
  if (BrowseUpdateFile()) return;
  // The dialog refused the path as its starting point: start in our own folder.
  state.filePath.Set(state.exeDir + kUpdateFilePattern);
  BrowseUpdateFile();
}

void CUpdateDlg::OnOpen() {
  CheckUpdateFile();
  CloseUpdateFile(state);
}

// One run of the file-open dialog. It starts in the executable's folder when no
// file is named yet, in a named folder (a path ending in a backslash), or on the
// named file. False only when the dialog refused that starting point.
bool CUpdateDlg::BrowseUpdateFile() {
  std::string initialName = state.filePath.Get();
  if (initialName.empty()) {
    initialName = state.exeDir + kUpdateFilePattern;
  } else if (initialName.back() == '\\') {
    while (!initialName.empty() && initialName.back() == '\\') initialName.pop_back();
    initialName += std::string("\\") + kUpdateFilePattern;
    state.filePath.Set(initialName);
  }

  const FileOpenResult result = RunFileOpenDialog(Handle(), MessageText(MsgFileFilter),
                                                  kUpdateFileExtension, initialName);
  if (!result.chosen) return !result.InitialNameRefused();
  state.filePath.Set(result.path);
  RefreshWindow();
  CheckUpdateFile();
  CloseUpdateFile(state);
  return true;
}

// Reads the header of the named file and lays out one row per target. Every
// problem is shown in one message box. The file stays open (after the header on
// success); the caller closes it unless it starts an update.
bool CUpdateDlg::CheckUpdateFile() {
  ReadWindow();
  RemoveRows();
  state.statusLine.Set(MessageText(MsgIdle));
  RefreshWindow();
  std::string problem;
  if (!OpenUpdateFile(state, &problem)) {
    MessageBox(problem);
    return false;
  }
  LayoutRows();
  return true;
}

// Reads the whole file, whose header has been checked, before the port is opened:
// a bad or damaged file ends the update here, before the device is sent anything,
// with the status line the update would have ended on, in the status line and in
// the warning box. The file stays open just after the header.
bool CUpdateDlg::ReadThroughUpdateFile() {
  const UpdateFileCheck check = ::ReadThroughUpdateFile(state);
  if (check.good) return true;
  state.statusLine.Set(check.statusLine);
  RefreshWindow();
  MessageBox(check.statusLine);
  return false;
}
