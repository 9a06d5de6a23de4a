#pragma once
// The docking host over a main window's dock widgets: one QDockWidget per pane id, named
// "pane_<id>" so that the main window's saved dock layout finds it again. When the user closes
// a dock that holds a data pane, the pane's window is destroyed (it saves its placement) and the
// dock goes with it.
#include <QObject>
#include <QPointer>

#include "gps/ui/docking_host.h"

class QDockWidget;
class QPoint;
class QMainWindow;

class CDockWidgetHost : public QObject, public CDockingHost {
 public:
  explicit CDockWidgetHost(QMainWindow& window);
  ~CDockWidgetHost() override;

  bool AttachPane(int pane_id, const std::string& title, const vd::ui::Rect& window_rect,
                  QWidget* window) override;
  void ShowPane(int pane_id) override;
  void SetPaneTitle(int pane_id, const std::string& title) override;
  void ClosePane(int pane_id) override;
  QWidget* HostWindow() const override;

  // The dock of a pane id, null when there is none.
  QDockWidget* FindDock(int pane_id) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether another shown floating dock stands with its top-left corner at the point.
  bool FloatingDockAt(const QPoint& top_left, const QDockWidget* except) const;

  QPointer<QMainWindow> window_;
};
