#pragma once
// The updater's application object: it runs the main dialog and ends the
// program when the dialog has closed.

#include "ui/win_app.h"

class CUpdaterApp : public CWinApp {
 public:
  bool InitInstance() override;
};
