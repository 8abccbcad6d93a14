#pragma once
// The updater's window: port and file selection, the Update, Cancel and Exit
// buttons, a status line and one row per target (name, progress bar, percentage
// and status word) laid out when a file's header has been read. While an update
// runs, the worker thread writes into `state` and a 200 ms timer mirrors it into
// the window.

#include <windows.h>

#include <memory>
#include <string>

#include "engine/update_signature.h"
#include "engine/update_state.h"
#include "engine/update_worker.h"
#include "ui/controls.h"
#include "ui/dialog.h"

class CWarningDlg;

class CUpdateDlg : public CDialog {
 public:
  CUpdateDlg();
  ~CUpdateDlg() override;

  // The Cancel warning's answers (Yes, and No or its close command).
  void CancelConfirmed();
  void CloseWarning();

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(bool fromWindow) override;
  void OnCommand(int id) override;
  bool OnSysCommand(UINT command) override;
  void OnTimer(UINT_PTR id) override;
  bool OnPaint() override;
  HICON OnQueryDragIcon() override;
  void OnDestroy() override;

 private:
  void RefreshWindow();
  void ReadWindow();
  void RefreshRows();
  void LayoutRows();
  void RemoveRows();
  void CreateRow(uint32_t index, int top, int groupWidth);
  void EnableControls(bool idle);
  void AddAboutMenuItem();
  void RecordFirstLayout();
  void ApplyStartSettings();
  void ExchangeText(bool fromWindow, int id, SharedText& field);

  void OnUpdate();
  bool OpenPort();
  void StartUpdate();
  void EndUpdate(RunState runState);
  void OnExit();
  void OnBrowse();
  void OnOpen();
  void OnCancelUpdate();

  bool BrowseUpdateFile();
  bool CheckUpdateFile();
  bool ReadThroughUpdateFile();
  bool LoadTrustedKeys(TrustedKeys* trusted);
  void ShowSignatureState();

  // Controls bound to the template.
  CButton cancelButton;
  CButton updateButton;
  CButton browseButton;
  CButton openButton;
  CStatic statusCaption;
  CStatic progressCaption;
  CStatic applicationCaption;
  CComboBox portCombo;
  CButton groupBox;

  // What the worker thread reads and writes while an update runs.
  UpdateState state;
  // Shown above the status line while an update runs: that the file has no
  // checksum, or is signed by a key that is not trusted while none is (empty
  // when neither).
  std::string fileNote;
  // The update's worker thread, joined once the update has ended (declared after
  // the record, so that it is joined before the record goes).
  UpdateThread worker;

  CWarningDlg* warningDlg = nullptr;  // the open warning; it deletes itself
  int32_t busy = 0;                   // the controls are in the running set
  int32_t rowsCreated = 0;            // the row windows and the row font exist
  CFont rowFont;

  // Screen rectangles as the template first laid them out.
  RECT dialogRect = {};
  RECT groupRect = {};
  RECT statusCaptionRect = {};
  RECT progressCaptionRect = {};
  RECT applicationCaptionRect = {};

  // The row windows, children of the group box.
  std::unique_ptr<CStatic> nameLabels[kMaxTargets];
  std::unique_ptr<CStatic> percentLabels[kMaxTargets];
  std::unique_ptr<CProgressCtrl> progressBars[kMaxTargets];

  HICON icon;
};

// The window's update record: the one the worker of each update is started with.
extern UpdateState* g_pUpdateState;
