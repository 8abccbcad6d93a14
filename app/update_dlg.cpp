#include "app/update_dlg.h"

#include <algorithm>
#include <string>

#include "app/about_dlg.h"
#include "app/settings.h"
#include "app/warning_dlg.h"
#include "engine/messages.h"
#include "engine/update_session.h"
#include "link/serial_port.h"
#include "resources/resource.h"
#include "ui/win_app.h"
#include "updater_version.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriodMs = 200;

// Row geometry in pixels.
constexpr int kRowPitch = 25;
constexpr int kRowHeight = 20;
constexpr int kGroupMargin = 5;    // below the last row
constexpr int kNameGap = 15;       // between the name column and the bars
constexpr int kBarGap = 10;        // between a bar and its percentage
constexpr int kPercentMargin = 2;  // between a percentage and the group box edge
constexpr int kRowFontTenthsOfPoint = 85;

constexpr int kPortEntries = 10;  // Com1 to Com10

constexpr DWORD kMaxExePathLength = 300;

int Width(const RECT& rect) {
  return rect.right - rect.left;
}

int Height(const RECT& rect) {
  return rect.bottom - rect.top;
}

// The window's side of an update: the player's one message to the user (its
// debug log cannot be created) is shown like the window's own.
UpdateHost WindowHost() {
  UpdateHost host;
  host.player.showMessage = [](const std::string& text) { ShowWarningBox(nullptr, text); };
  return host;
}

}  // namespace

UpdateState* g_pUpdateState = nullptr;

CUpdateDlg::CUpdateDlg()
    : CDialog(IDD_UPDATE_DIALOG, nullptr),
      icon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {
  g_pUpdateState = &state;
}

CUpdateDlg::~CUpdateDlg() {
  g_pUpdateState = nullptr;
}

bool CUpdateDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetText(std::string(UPD_PRODUCT_NAME) + " " + UPD_VERSION_TEXT);
  AddAboutMenuItem();
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  RecordFirstLayout();

  state.targetCount = 0;
  LayoutRows();
  state.filePath.Set("");
  state.statusLine.Set(MessageText(MsgIdle));
  for (int port = 1; port <= kPortEntries; ++port) portCombo.AddString("Com" + std::to_string(port));
  EnableControls(true);

  char exePath[kMaxExePathLength + 1] = {};
  GetModuleFileNameA(nullptr, exePath, kMaxExePathLength);
  state.exeDir = ExeDirectoryOf(exePath);
  ApplyStartSettings();
  // EnableControls has put the focus on Exit.
  return false;
}

void CUpdateDlg::AddAboutMenuItem() {
  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  const char* text = MessageText(MsgAboutMenu);
  if (!systemMenu || !*text) return;
  AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
}

// The rows are laid out relative to where the template put the group box and the
// column captions.
void CUpdateDlg::RecordFirstLayout() {
  dialogRect = ScreenRect();
  groupRect = groupBox.ScreenRect();
  statusCaptionRect = statusCaption.ScreenRect();
  progressCaptionRect = progressCaption.ScreenRect();
  applicationCaptionRect = applicationCaption.ScreenRect();
}

// The remembered file and port; a remembered file gets its header check, so
// that its rows show at once.
void CUpdateDlg::ApplyStartSettings() {
  std::string path;
  int portIndex = 0;
  const bool loaded = LoadSettings(state.exeDir, &path, &portIndex);
  state.filePath.Set(loaded ? path : "");
  portCombo.SetCurSel(loaded ? portIndex : 0);
  RefreshWindow();
  if (loaded && !path.empty()) {
    CheckUpdateFile();
    CloseUpdateFile(state);
  }
}

void CUpdateDlg::DoDataExchange(bool fromWindow) {
  Bind(cancelButton, IDC_CANCEL_UPDATE);
  Bind(updateButton, IDC_UPDATE);
  Bind(browseButton, IDC_BROWSE);
  Bind(openButton, IDC_OPEN);
  Bind(statusCaption, IDC_STATUS_CAPTION);
  Bind(progressCaption, IDC_PROGRESS_CAPTION);
  Bind(applicationCaption, IDC_APPLICATION_CAPTION);
  Bind(portCombo, IDC_PORT);
  Bind(groupBox, IDC_UPDATE_INFO);
  ExchangeText(fromWindow, IDC_FILE_PATH, state.filePath);
  ExchangeText(fromWindow, IDC_STATUS_LINE, state.statusLine);
}

// Writing to the window never writes the field back: the worker may be
// replacing it at the same time.
void CUpdateDlg::ExchangeText(bool fromWindow, int id, SharedText& field) {
  CWnd control = Item(id);
  if (fromWindow) {
    field.Set(control.GetText());
  } else {
    control.SetText(field.Get());
  }
}

void CUpdateDlg::RefreshWindow() {
  UpdateData(false);
  if (state.runState != RunState::Idle) RefreshRows();
}

void CUpdateDlg::ReadWindow() {
  UpdateData(true);
}

void CUpdateDlg::RefreshRows() {
  for (uint32_t i = 0; i < kMaxTargets && progressBars[i]; ++i) {
    const TargetRow& row = state.rows[i];
    const int percent = row.percent;
    progressBars[i]->SetPos(percent);
    percentLabels[i]->SetText(std::to_string(percent) + "% " + row.status.Get());
    nameLabels[i]->SetText(row.mark.Get() + row.name.Get());
  }
}

// The dialog grows by one row pitch per target and the group box by as much
// plus a margin; the rows start at the group box's former bottom edge.
void CUpdateDlg::LayoutRows() {
  HDC dc = GetDC(Handle());
  rowFont.CreatePointFont(kRowFontTenthsOfPoint, "", dc);
  ReleaseDC(Handle(), dc);

  const uint32_t count = std::min(state.targetCount, kMaxTargets);
  const int rowsHeight = kRowPitch * static_cast<int>(count);
  for (CStatic* caption : {&statusCaption, &progressCaption, &applicationCaption}) {
    caption->Show(count > 0);
  }
  Resize(Width(dialogRect), Height(dialogRect) + rowsHeight);
  Show(true);
  rowsCreated = 1;

  groupBox.Resize(Width(groupRect), Height(groupRect) + rowsHeight + kGroupMargin);
  const RECT grown = groupBox.ScreenRect();
  const int firstTop = Height(grown) - rowsHeight - kGroupMargin;
  for (uint32_t i = 0; i < count; ++i) {
    CreateRow(i, firstTop + kRowPitch * static_cast<int>(i), Width(grown));
  }
}

// Row `index`: name, progress bar and percentage, in group box coordinates.
// The name's width is measured from the group box's edge, like the bar column's
// position, so the name ends a little more than the gap before the bars.
void CUpdateDlg::CreateRow(uint32_t index, int top, int groupWidth) {
  const int bottom = top + kRowHeight;
  const int nameLeft = applicationCaptionRect.left - groupRect.left;
  const int barLeft = progressCaptionRect.left - groupRect.left;
  const int percentLeft = statusCaptionRect.left - groupRect.left;
  HWND parentWindow = groupBox.Handle();

  nameLabels[index] = std::make_unique<CStatic>();
  nameLabels[index]->Create(state.rows[index].name.Get(),
                            {nameLeft, top, nameLeft + barLeft - kNameGap, bottom}, parentWindow);
  nameLabels[index]->SetFont(rowFont.Handle());

  percentLabels[index] = std::make_unique<CStatic>();
  percentLabels[index]->Create("0%", {percentLeft, top, groupWidth - kPercentMargin, bottom},
                               parentWindow);
  percentLabels[index]->SetFont(rowFont.Handle());

  progressBars[index] = std::make_unique<CProgressCtrl>();
  progressBars[index]->Create({barLeft, top, percentLeft - kBarGap, bottom}, parentWindow,
                              IDC_FIRST_PROGRESS_BAR + static_cast<int>(index));
}

// Every row window that exists goes, whatever the target count says now.
void CUpdateDlg::RemoveRows() {
  if (!rowsCreated) return;
  for (CStatic* caption : {&statusCaption, &progressCaption, &applicationCaption}) {
    caption->Show(false);
  }
  for (uint32_t i = 0; i < kMaxTargets; ++i) {
    for (CWnd* row : {static_cast<CWnd*>(nameLabels[i].get()),
                      static_cast<CWnd*>(percentLabels[i].get()),
                      static_cast<CWnd*>(progressBars[i].get())}) {
      if (row) row->Destroy();
    }
  }
  rowsCreated = 0;
  for (uint32_t i = 0; i < kMaxTargets; ++i) {
    nameLabels[i].reset();
    percentLabels[i].reset();
    progressBars[i].reset();
  }
  rowFont.DeleteObject();
  groupBox.Resize(Width(groupRect), Height(groupRect));
}

void CUpdateDlg::EnableControls(bool idle) {
  cancelButton.Enable(!idle);
  for (int id : {IDC_UPDATE, IDC_BROWSE, IDC_OPEN, IDC_PORT, IDC_FILE_PATH, IDC_EXIT}) {
    Item(id).Enable(idle);
  }
  GotoDlgCtrl(idle ? Item(IDC_EXIT) : cancelButton);
  busy = idle ? 0 : 1;
}

void CUpdateDlg::OnCommand(int id) {
  // While an update runs only Cancel acts: Escape and the close command must not
  // end the dialog under the worker, and a click queued before the controls
  // switched must not start a second update. Cancel is for running updates only.
  if ((id == IDC_CANCEL_UPDATE) != (busy != 0)) return;
  switch (id) {
    case IDC_UPDATE:
      OnUpdate();
      break;
    case IDC_EXIT:
      OnExit();
      break;
    case IDC_BROWSE:
      OnBrowse();
      break;
    case IDC_OPEN:
      OnOpen();
      break;
    case IDC_CANCEL_UPDATE:
      OnCancelUpdate();
      break;
    default:
      CDialog::OnCommand(id);
      break;
  }
}

void CUpdateDlg::OnUpdate() {
  if (!CheckUpdateFile() || !ReadThroughUpdateFile()) {
    CloseUpdateFile(state);
    return;
  }
  ReadWindow();
  if (!OpenPort()) {
    CloseUpdateFile(state);
    return;
  }
  StartUpdate();
}

// Opens the chosen port and drops whatever the device sent before the update.
bool CUpdateDlg::OpenPort() {
  const int entry = portCombo.GetCurSel();
  if (entry < 0) {
    MessageBox(MessageText(MsgNoPortSelected));
    return false;
  }
  const int number = entry + 1;
  if (!OpenDevicePort(state, DevicePathOfPort(number))) {
    MessageBox(FormatMessageText(MsgPortInUse, ("COM" + std::to_string(number)).c_str()));
    return false;
  }
  return true;
}

void CUpdateDlg::StartUpdate() {
  ClearRowsForUpdate(state);
  if (!fileNote.empty()) state.statusLine.Set(fileNote + "\n" + state.statusLine.Get());
  RefreshWindow();
  EnableControls(false);
  LaunchUpdate(*g_pUpdateState, worker, WindowHost());
  SetTimer(kRefreshTimer, kRefreshPeriodMs);
}

void CUpdateDlg::OnTimer(UINT_PTR id) {
  if (id != kRefreshTimer) return;
  const RunState runState = state.runState;
  // A request that arrives during the redraw stays set for the next tick.
  if (runState == RunState::Running && state.refreshNeeded.exchange(false)) RefreshWindow();
  if (runState == RunState::Finished || runState == RunState::Aborted) EndUpdate(runState);
}

// The worker has ended and touches nothing any more: show its result line (not
// after a cancel), release the file and the port and return to idle.
void CUpdateDlg::EndUpdate(RunState runState) {
  CloseWarning();
  RefreshWindow();
  KillTimer(kRefreshTimer);
  if (runState == RunState::Finished) MessageBox(state.statusLine.Get());
  worker.Join();
  CloseUpdateResources(state);
  // The focus lands on Exit; the dialog is active again by now, as the warning
  // and the message box have returned the activation to it.
  EnableControls(true);
  state.runState = RunState::Idle;
}

void CUpdateDlg::OnExit() {
  ReadWindow();
  EndDialog(IDOK);
}

void CUpdateDlg::OnCancelUpdate() {
  if (warningDlg) return;
  if (!state.deviceAnswered) {
    state.cancelRequested = true;
    return;
  }
  auto* warning = new CWarningDlg(MsgCancelWarning, this);
  if (!warning->Create()) {
    delete warning;
    return;
  }
  warningDlg = warning;
  cancelButton.Enable(false);
}

void CUpdateDlg::CancelConfirmed() {
  ConfirmCancel(state);
  CloseWarning();
}

void CUpdateDlg::CloseWarning() {
  if (!warningDlg) return;
  cancelButton.Enable(true);
  CWarningDlg* warning = warningDlg;
  warningDlg = nullptr;
  warning->Destroy();
}

bool CUpdateDlg::OnSysCommand(UINT command) {
  const UINT id = command & 0xFFF0;
  if (id == IDM_ABOUTBOX) {
    CAboutDlg about(Handle());
    about.DoModal();
    return true;
  }
  return id == SC_CLOSE && busy;
}

// The template has no minimise box, but another program may minimise the window
// all the same: then it shows the icon, centred.
bool CUpdateDlg::OnPaint() {
  if (!IsIconic(Handle())) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(Handle(), &client);
  const int x = (Width(client) - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (Height(client) - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon);
  EndPaint(Handle(), &paint);
  return true;
}

HICON CUpdateDlg::OnQueryDragIcon() {
  return icon;
}

void CUpdateDlg::OnDestroy() {
  SaveSettings(state.exeDir, state.filePath.Get(), portCombo.GetCurSel());
  RemoveRows();
}
