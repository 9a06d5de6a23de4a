#include "gps/ui/docking_wnd.h"

#include <QDockWidget>

#include "gps/ui/docking_host.h"

CDockingWnd::CDockingWnd(int pane_id) : pane_id_(pane_id) {}

CDockingWnd::~CDockingWnd() {
  // A dock being destroyed is no QDockWidget any more: it deletes this window itself.
  if (attached_ && qobject_cast<QDockWidget*>(parentWidget()) != nullptr) ClosePane();
}

bool CDockingWnd::AttachToPane(const std::string& title, const vd::ui::Rect& window_rect,
                               QWidget* parent) {
  if (CDockingHost* host = GetDockingHost()) {
    attached_ = host->AttachPane(pane_id_, title, window_rect, this);
    return attached_;
  }
  setParent(parent, Qt::Tool);
  setWindowTitle(QString::fromStdString(title));
  setGeometry(window_rect.left, window_rect.top, window_rect.Width(), window_rect.Height());
  show();
  return true;
}

void CDockingWnd::ShowPane() {
  if (CDockingHost* host = GetDockingHost(); host != nullptr && attached_) {
    host->ShowPane(pane_id_);
  } else {
    show();
    raise();
  }
}

void CDockingWnd::SetPaneTitle(const std::string& title) {
  if (CDockingHost* host = GetDockingHost(); host != nullptr && attached_) {
    host->SetPaneTitle(pane_id_, title);
  } else {
    setWindowTitle(QString::fromStdString(title));
  }
}

void CDockingWnd::ClosePane() {
  if (!attached_) return;
  attached_ = false;
  if (CDockingHost* host = GetDockingHost()) host->ClosePane(pane_id_);
}
