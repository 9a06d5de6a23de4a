#pragma once
// What the newer overlay model asks of the program's main window: the status line and one-line
// hints. The shell installs its implementation; without one nothing is shown.
#include <string>

class COverlayShell {
 public:
  virtual ~COverlayShell() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ClearStatusText() = 0;
  // A short information message for the user.
  virtual void ShowHint(const std::string& text) = 0;

  static COverlayShell* Get();
  // Installs shell (null: none); the caller keeps it alive while installed.
  static void Install(COverlayShell* shell);
};
