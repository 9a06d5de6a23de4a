#pragma once
// Where the docking data panes live: the program's main window provides docking panes, each
// known by a pane id, and the panes ask for theirs through this interface. The main window
// installs its host at start-up and removes it before it goes away; without a host a pane is a
// floating window of its own.
#include <string>

#include "platform/ui/geometry.h"

class QWidget;

class CDockingHost {
 public:
  virtual ~CDockingHost() = default;

  // Puts `window` into the docking pane `pane_id` and shows the pane: an existing pane of that
  // id is reused where it stands; a new one is made floating so that `window` covers
  // `window_rect` (screen coordinates). The pane takes `title`. False when no pane could be
  // had; `window` is then left as it was.
  virtual bool AttachPane(int pane_id, const std::string& title, const vd::ui::Rect& window_rect,
                          QWidget* window) = 0;
  virtual void ShowPane(int pane_id) = 0;
  virtual void SetPaneTitle(int pane_id, const std::string& title) = 0;
  // Closes and removes the pane. Its window is taken out first and neither deleted nor shown.
  virtual void ClosePane(int pane_id) = 0;
  // The window that owns the panes.
  virtual QWidget* HostWindow() const = 0;
};

// The installed host, null when none.
CDockingHost* GetDockingHost();
// Installs `host` (null removes it); returns the one it replaces.
CDockingHost* InstallDockingHost(CDockingHost* host);
