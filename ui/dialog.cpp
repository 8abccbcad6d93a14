#include "ui/dialog.h"

#include <algorithm>

#include "ui/win_app.h"

namespace {

// Hands keyboard navigation to the dialog that contains the message's window.
bool RouteToDialog(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (!root || GetClassLongPtrA(root, GCW_ATOM) != reinterpret_cast<ULONG_PTR>(WC_DIALOG)) {
    return false;
  }
  return IsDialogMessageA(root, &msg) != FALSE;
}

}  // namespace

CDialog::CDialog(int templateId, HWND parent) : parent(parent), templateId(templateId) {}

CDialog::~CDialog() {
  if (hwnd) {
    SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    ::DestroyWindow(hwnd);
  }
}

INT_PTR CDialog::DoModal() {
  modal = true;
  modalEnded = false;
  modalResult = -1;
  if (!CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId), parent,
                          DialogProc, reinterpret_cast<LPARAM>(this))) {
    return -1;
  }
  if (parent) EnableWindow(parent, FALSE);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  RunModalLoop();
  // The owner is enabled again before this window goes, so that it is the one
  // that gets activated.
  if (parent) {
    EnableWindow(parent, TRUE);
    SetActiveWindow(parent);
  }
  Destroy();
  return modalResult;
}

bool CDialog::Create() {
  modal = false;
  if (!CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId), parent,
                          DialogProc, reinterpret_cast<LPARAM>(this))) {
    return false;
  }
  ShowWindow(hwnd, SW_SHOW);
  return true;
}

void CDialog::RunModalLoop() {
  MSG msg;
  while (!modalEnded) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The quit message belongs to the outer loop, if there is one.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!RouteToDialog(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void CDialog::EndDialog(INT_PTR result) {
  if (!modal) {
    Destroy();
    return;
  }
  modalResult = result;
  modalEnded = true;
  // Wakes the modal loop in case this was called from a nested loop.
  PostMessageA(hwnd, WM_NULL, 0, 0);
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::DoDataExchange(bool) {}

void CDialog::OnCommand(int id) {
  if (id == IDOK) OnOK();
  if (id == IDCANCEL) OnCancel();
}

void CDialog::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

bool CDialog::OnSysCommand(UINT) {
  return false;
}

void CDialog::OnTimer(UINT_PTR) {}

bool CDialog::OnPaint() {
  return false;
}

HICON CDialog::OnQueryDragIcon() {
  return nullptr;
}

void CDialog::OnDestroy() {}

void CDialog::PostNcDestroy() {}

CWnd CDialog::Item(int id) const {
  CWnd item;
  item.Attach(GetDlgItem(hwnd, id));
  return item;
}

void CDialog::GotoDlgCtrl(const CWnd& control) const {
  SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control.Handle()), TRUE);
}

void CDialog::SetTimer(UINT_PTR id, UINT periodMs) const {
  ::SetTimer(hwnd, id, periodMs, nullptr);
}

void CDialog::KillTimer(UINT_PTR id) const {
  ::KillTimer(hwnd, id);
}

void CDialog::MessageBox(const std::string& text) const {
  ShowWarningBox(hwnd, text);
}

// Dialogs open centred over their owner, or on the screen's work area.
void CDialog::CentreOnOwner() {
  RECT area = {};
  if (!parent || !GetWindowRect(parent, &area)) {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  }
  const RECT own = ScreenRect();
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int left = (area.left + area.right - width) / 2;
  int top = (area.top + area.bottom - height) / 2;
  // Kept within the work area of the monitor it lands on, which may lie left of
  // or above the main one.
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    left = std::max<int>(work.left, std::min<int>(left, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
  }
  SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialog*>(lParam);
    self->hwnd = window;
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->CentreOnOwner();
    return self->OnInitDialog() ? TRUE : FALSE;
  }
  auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

// Handlers may destroy the window, and a modeless dialog then deletes itself: no
// member is touched after a handler has returned.
INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // Buttons, menus and accelerators; other control notifications are not
      // commands.
      if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
        OnCommand(LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      return OnSysCommand(static_cast<UINT>(wParam)) ? TRUE : FALSE;
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    // Both are notifications: the platform's own clean-up of the dialog runs after
    // them, which it does only when they are reported as not handled.
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, DWLP_USER, 0);
      hwnd = nullptr;
      PostNcDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}
