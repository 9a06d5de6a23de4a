#pragma once
// The newer overlay model's shell over a program's main window: the status line is the window's
// status bar (nothing when the window has none), hints and warnings are message boxes over the
// window, links open with the desktop's
// handler, and the action sheets of marks, routes and tracks open over the window. A program
// may derive from it to offer chart downloads.
//
// User-interface thread only.
#include <QMainWindow>
#include <QPointer>
#include <string>

#include "overlays/model/overlay_shell.h"

class QWidget;

class CWindowOverlayShell : public COverlayShell {
 public:
  // window: the program's main window; the shell outlives it safely (it then shows nothing).
  explicit CWindowOverlayShell(QMainWindow* window);

  void SetStatusText(const std::string& text) override;
  void ClearStatusText() override;
  void ShowHint(const std::string& text) override;
  void ShowWarning(const std::string& caption, const std::string& text) override;

  QMainWindow* window() const { return window_; }
  // The window the action sheets open over: the installed shell's main window when the
  // installed shell is a window's, else null.
  static QWidget* SheetOwner();

 private:
  QPointer<QMainWindow> window_;
};
