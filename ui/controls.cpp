#include "ui/controls.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "ui/win_app.h"

std::string CWnd::GetText() const {
  const int length = GetWindowTextLengthA(hwnd);
  std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  const int copied = GetWindowTextA(hwnd, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void CWnd::SetText(const std::string& text) {
  SetWindowTextA(hwnd, text.c_str());
}

void CWnd::Enable(bool enable) {
  EnableWindow(hwnd, enable ? TRUE : FALSE);
}

void CWnd::Show(bool show) {
  ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
}

RECT CWnd::ScreenRect() const {
  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  return rect;
}

void CWnd::Resize(int width, int height) {
  SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::SetFont(HFONT font) {
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void CWnd::Destroy() {
  if (hwnd) DestroyWindow(hwnd);
}

bool CWnd::CreateChild(const char* className, const char* text, DWORD style, const RECT& rect,
                       HWND parent, int id) {
  hwnd = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         AfxGetInstanceHandle(), nullptr);
  return hwnd != nullptr;
}

bool CStatic::Create(const std::string& text, const RECT& rect, HWND parent) {
  return CreateChild("STATIC", text.c_str(), SS_LEFT | SS_NOPREFIX, rect, parent, 0xFFFF);
}

void CComboBox::AddString(const std::string& text) {
  SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int CComboBox::GetCurSel() const {
  return static_cast<int>(SendMessageA(hwnd, CB_GETCURSEL, 0, 0));
}

void CComboBox::SetCurSel(int index) {
  SendMessageA(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool CProgressCtrl::Create(const RECT& rect, HWND parent, int id) {
  if (!CreateChild(PROGRESS_CLASSA, "", PBS_SMOOTH, rect, parent, id)) return false;
  SendMessageA(hwnd, PBM_SETRANGE32, 0, 100);
  SetPos(0);
  return true;
}

void CProgressCtrl::SetPos(int position) {
  SendMessageA(hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool CFont::CreatePointFont(int tenthsOfPoint, const char* faceName, HDC dc) {
  DeleteObject();
  LOGFONTA description = {};
  // Points to device pixels: 72 points an inch, ten tenths a point.
  description.lfHeight = -MulDiv(GetDeviceCaps(dc, LOGPIXELSY), tenthsOfPoint, 720);
  description.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(description.lfFaceName, faceName, LF_FACESIZE - 1);
  font = CreateFontIndirectA(&description);
  return font != nullptr;
}

void CFont::DeleteObject() {
  if (font) ::DeleteObject(font);
  font = nullptr;
}
