#include "gps/ui/dock_widget_host.h"

#include <QDockWidget>
#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <algorithm>

#include "app/shell_services.h"

namespace {

QString DockName(int pane_id) { return QStringLiteral("pane_%1").arg(pane_id); }

}  // namespace

CDockWidgetHost::CDockWidgetHost(QMainWindow& window) : window_(&window) {}

CDockWidgetHost::~CDockWidgetHost() = default;

QDockWidget* CDockWidgetHost::FindDock(int pane_id) const {
  if (!window_) return nullptr;
  return window_->findChild<QDockWidget*>(DockName(pane_id), Qt::FindDirectChildrenOnly);
}

bool CDockWidgetHost::AttachPane(int pane_id, const std::string& title,
                                 const vd::ui::Rect& window_rect, QWidget* window) {
  if (!window_ || window == nullptr) return false;
  QDockWidget* dock = FindDock(pane_id);
  const bool is_new = dock == nullptr;
  // A pane of this id that the window's layout of the last run held goes back where it was
  // (docked, or floating where it floated).
  bool placed_by_layout = false;
  if (is_new) {
    dock = new QDockWidget(window_);
    dock->setObjectName(DockName(pane_id));
    dock->installEventFilter(this);
    placed_by_layout = window_->restoreDockWidget(dock);
    if (!placed_by_layout) {
      window_->addDockWidget(Qt::RightDockWidgetArea, dock);
      dock->setFloating(true);
    }
  }
  dock->setWindowTitle(QString::fromStdString(title));
  dock->setWidget(window);
  dock->show();
  dock->raise();
  if (is_new && !placed_by_layout) {
    // The pane's window, not the dock, goes to the rectangle: a dock that draws its own title
    // bar is made larger by it.
    dock->setGeometry(window_rect.left, window_rect.top, std::max(1, window_rect.Width()),
                      std::max(1, window_rect.Height()));
    if (dock->layout() != nullptr) dock->layout()->activate();
    const QPoint offset = window->mapTo(dock, QPoint(0, 0));
    const QSize extra = dock->size() - window->size();
    QPoint at(window_rect.left - offset.x(), window_rect.top - offset.y());
    // Panes of one kind share their placement: a second one open at the same place would hide
    // the first, so it steps down and right by its title bar's height until it shows both.
    const int step = std::max(offset.y(), 16);
    for (int tries = 0; tries < 50 && FloatingDockAt(at, dock); ++tries) at += QPoint(step, step);
    dock->setGeometry(at.x(), at.y(), std::max(1, window_rect.Width() + extra.width()),
                      std::max(1, window_rect.Height() + extra.height()));
  }
  return true;
}

bool CDockWidgetHost::FloatingDockAt(const QPoint& top_left, const QDockWidget* except) const {
  if (!window_) return false;
  for (const QDockWidget* other : window_->findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other != except && other->isFloating() && other->isVisible() &&
        other->geometry().topLeft() == top_left)
      return true;
  }
  return false;
}

void CDockWidgetHost::ShowPane(int pane_id) {
  if (QDockWidget* dock = FindDock(pane_id)) {
    dock->show();
    dock->raise();
  }
}

void CDockWidgetHost::SetPaneTitle(int pane_id, const std::string& title) {
  if (QDockWidget* dock = FindDock(pane_id)) dock->setWindowTitle(QString::fromStdString(title));
}

void CDockWidgetHost::ClosePane(int pane_id) {
  QDockWidget* dock = FindDock(pane_id);
  if (dock == nullptr) return;
  if (QWidget* content = dock->widget()) {
    content->hide();
    content->setParent(nullptr);
  }
  dock->removeEventFilter(this);
  // Out of the window's layout at once: a layout saved before the dock is deleted would meet
  // a dock without a name.
  if (window_) window_->removeDockWidget(dock);
  dock->setObjectName(QString());  // a new pane of the same id gets a new dock
  dock->hide();
  dock->deleteLater();
}

QWidget* CDockWidgetHost::HostWindow() const { return window_; }

bool CDockWidgetHost::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    auto* dock = qobject_cast<QDockWidget*>(watched);
    if (dock != nullptr) {
      if (auto* pane = dynamic_cast<CDataWnd*>(dock->widget())) {
        pane->DestroyWindow();  // closes this dock through ClosePane
        return false;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}
