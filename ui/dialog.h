#pragma once
// A dialog made from a template in the program's resources, run modally
// (DoModal) or modelessly (Create). Derived classes override the handlers they
// need; every handler runs on the thread that created the dialog.
//
// Modal runs use a message loop of this class rather than the platform's, so that
// keyboard navigation (Tab, Enter, Escape) also works in modeless dialogs that
// are open at the same time: each message goes to the dialog that contains its
// window.

#include <windows.h>

#include <string>

#include "ui/controls.h"

class CDialog : public CWnd {
 public:
  CDialog(int templateId, HWND parent);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the dialog, disables the parent while it runs and returns the result
  // given to EndDialog; -1 if the window could not be created.
  INT_PTR DoModal();
  // Creates the dialog as a modeless pop-up owned by the parent and shows it.
  bool Create();

  // Ends a modal run with `result`; a modeless dialog is destroyed instead.
  void EndDialog(INT_PTR result);

 protected:
  // Binds the controls and writes the fields to them (UpdateData(false)). The
  // result tells the platform whether to put the focus on the first control.
  virtual bool OnInitDialog();
  // Binds controls to their objects and exchanges texts with fields: from the
  // window into the fields when `fromWindow` is true, the other way otherwise.
  virtual void DoDataExchange(bool fromWindow);
  // A button, menu or keyboard command. IDOK goes to OnOK, IDCANCEL (Escape, the
  // close command) to OnCancel.
  virtual void OnCommand(int id);
  virtual void OnOK();
  virtual void OnCancel();
  // A system-menu command; false leaves it to the default handling.
  virtual bool OnSysCommand(UINT command);
  virtual void OnTimer(UINT_PTR id);
  // False leaves the painting to the default handling.
  virtual bool OnPaint();
  // The icon to show while the minimised window is dragged; nullptr for the
  // default.
  virtual HICON OnQueryDragIcon();
  // The window is being destroyed; its children still exist.
  virtual void OnDestroy();
  // The window is gone; a modeless dialog may delete itself here.
  virtual void PostNcDestroy();

  void UpdateData(bool fromWindow) { DoDataExchange(fromWindow); }
  // The control with template ID `id`.
  CWnd Item(int id) const;
  void Bind(CWnd& control, int id) const { control = Item(id); }
  // Moves the keyboard focus to a control the way the dialog's own navigation
  // does, so that the default button follows.
  void GotoDlgCtrl(const CWnd& control) const;
  void SetTimer(UINT_PTR id, UINT periodMs) const;
  void KillTimer(UINT_PTR id) const;
  // A warning message box owned by this dialog.
  void MessageBox(const std::string& text) const;

  HWND parent;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CentreOnOwner();
  void RunModalLoop();

  int templateId;
  bool modal = false;
  bool modalEnded = false;
  INT_PTR modalResult = -1;
};
