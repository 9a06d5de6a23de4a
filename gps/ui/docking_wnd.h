#pragma once
// A window tied to one docking pane of the installed docking host (docking_host.h), known by
// its pane id. Without a host the window stands on its own as a floating tool window.
// Destroying the window closes its pane.
#include <QWidget>
#include <string>

#include "platform/ui/geometry.h"

class CDockingWnd : public QWidget {
 public:
  explicit CDockingWnd(int pane_id);
  ~CDockingWnd() override;
  CDockingWnd(const CDockingWnd&) = delete;
  CDockingWnd& operator=(const CDockingWnd&) = delete;

  int pane_id() const { return pane_id_; }
  // Whether the window sits in a pane of the host.
  bool attached() const { return attached_; }

  // Shows the pane (or the window itself without a pane).
  void ShowPane();
  // The pane's title (the window's own title without a pane).
  void SetPaneTitle(const std::string& title);

 protected:
  // Places the window at `window_rect` (screen coordinates) in the pane of the host, a new
  // floating one or the existing one of the same id, or as a window of its own under `parent`
  // when there is no host. False when the host had no pane for it.
  bool AttachToPane(const std::string& title, const vd::ui::Rect& window_rect, QWidget* parent);
  // Takes the window out of its pane and closes the pane.
  void ClosePane();

 private:
  const int pane_id_;
  bool attached_ = false;
};
