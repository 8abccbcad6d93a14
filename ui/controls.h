#pragma once
// Thin wrappers of the windows a dialog works with: controls bound to template
// IDs, child windows created at run time, and a font made by point size. A
// wrapper does not own its window: the dialog destroys its children, and run-time
// children are destroyed with Destroy().

#include <windows.h>

#include <string>

class CWnd {
 public:
  HWND Handle() const { return hwnd; }
  void Attach(HWND window) { hwnd = window; }

  std::string GetText() const;
  void SetText(const std::string& text);
  void Enable(bool enable);
  void Show(bool show);
  // The window's rectangle in screen pixels.
  RECT ScreenRect() const;
  // Changes the size, keeping the position (and the z-order).
  void Resize(int width, int height);
  void SetFont(HFONT font);
  void Destroy();

 protected:
  // Creates a visible child window of `parent` with `rect` in the parent's client
  // coordinates.
  bool CreateChild(const char* className, const char* text, DWORD style, const RECT& rect,
                   HWND parent, int id);

  HWND hwnd = nullptr;
};

class CButton : public CWnd {};

class CStatic : public CWnd {
 public:
  // A left-aligned text without a control ID of its own, shown as it is: an & in
  // it (a target's name from an update file) is a character, not an access key.
  bool Create(const std::string& text, const RECT& rect, HWND parent);
};

class CComboBox : public CWnd {
 public:
  void AddString(const std::string& text);
  // Index of the selected entry, -1 when none is selected.
  int GetCurSel() const;
  void SetCurSel(int index);
};

class CProgressCtrl : public CWnd {
 public:
  // A smooth bar with the range 0 to 100, at position 0.
  bool Create(const RECT& rect, HWND parent, int id);
  void SetPos(int position);
};

// A font owned by its object; empty until created.
class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // A font of `tenthsOfPoint` / 10 points for the device context `dc`; an empty
  // face name picks the platform's default face at that size.
  bool CreatePointFont(int tenthsOfPoint, const char* faceName, HDC dc);
  void DeleteObject();
  HFONT Handle() const { return font; }

 private:
  HFONT font = nullptr;
};
