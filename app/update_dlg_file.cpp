// The main dialog's side of the update file: choosing it and checking its header.

#include <string>
#include <vector>

#include "app/update_dlg.h"
#include "engine/messages.h"
#include "engine/update_file_check.h"
#include "engine/update_session.h"
#include "engine/update_signature.h"
#include "ui/file_dialog.h"

namespace {

const char kUpdateFilePattern[] = "*.upd";
const char kUpdateFileExtension[] = "upd";
// The folder beside the program whose .pem files are the trusted keys.
const char kTrustedKeysFolder[] = "trusted-keys";

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

// Reads the named file whole, as the snapshot an update is made from, and lays
// out one row per target from its header. Every problem is shown in one message
// box. The snapshot stays; the caller drops it unless it starts an update.
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
  ShowSignatureState();
  return true;
}

// The keys of the trusted keys folder beside the program. False with the
// problem shown in a message box: a key that cannot be used is not passed over.
bool CUpdateDlg::LoadTrustedKeys(TrustedKeys* trusted) {
  std::string problem;
  if (AddTrustedKeysFolder(state.exeDir + kTrustedKeysFolder, trusted, &problem)) return true;
  state.statusLine.Set(problem);
  RefreshWindow();
  MessageBox(problem);
  return false;
}

// Beside the rows of a file just read, the file's signature state on the line
// above the status line ("Signature: signed by trusted key 1a2b3c4d5e6f7081"). A
// key that cannot be used is said in the status line; Update shows it in a box.
void CUpdateDlg::ShowSignatureState() {
  TrustedKeys trusted;
  std::string problem;
  if (!AddTrustedKeysFolder(state.exeDir + kTrustedKeysFolder, &trusted, &problem)) {
    state.statusLine.Set(problem);
    RefreshWindow();
    return;
  }
  const SignaturePlace place = FindSignatureBlock(*state.updateFile.copy);
  const std::string text = place.fault.empty()
                               ? SignatureStateText(CheckSignature(*state.updateFile.copy, place,
                                                                   trusted))
                               : place.fault;
  state.statusLine.Set(FormatMessageText(MsgSignatureLine, text.c_str()) + "\n" +
                       MessageText(MsgIdle));
  RefreshWindow();
}

// Reads the whole snapshot that CheckUpdateFile took, before the port is opened:
// a bad or damaged file ends the update here, before the device is sent anything,
// with what is wrong and where on the line before the status line the update
// would have ended on, in the status area and in the warning box. The snapshot
// stays, to be programmed; a file without a checksum, or signed by a key that is
// not trusted when none is, is noted for the status area. With trusted keys, a
// file they did not sign is refused here, its reason in the status line.
bool CUpdateDlg::ReadThroughUpdateFile() {
  const std::string path = state.filePath.Get();
  TrustedKeys trusted;
  if (!LoadTrustedKeys(&trusted)) return false;
  const UpdateFileCheck check = ::ReadThroughUpdateFile(state.updateFile, path, trusted);
  std::vector<std::string> notes;
  if (check.checksum == ChecksumState::None) {
    notes.push_back(FormatMessageText(MsgNoChecksum, path.c_str()));
  }
  if (check.signature.state == SignatureState::UntrustedKey) {
    notes.push_back(
        FormatMessageText(MsgSignedUntrusted, path.c_str(), check.signature.keyId.c_str()));
  }
  fileNote.clear();
  for (const std::string& note : notes) fileNote += (fileNote.empty() ? "" : "\n") + note;
  if (check.good) return true;
  const std::string text =
      check.detail == check.statusLine ? check.statusLine : check.detail + "\n" + check.statusLine;
  state.statusLine.Set(text);
  RefreshWindow();
  MessageBox(text);
  return false;
}
