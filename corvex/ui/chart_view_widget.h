#pragma once
// The chart view's window: a plain window that owns a COstrelView, paints it, tells it its
// size and focus, hands it the mouse, wheel, key and timer messages, dropped files and the
// tiles its helper threads post, shows its cursor and its read-out tip. Losing the mouse in
// the middle of a drag (the window deactivated, hidden, or a popup taking the focus) reaches
// the view as kWmCaptureChanged. Frame requests (title, maximise, close, placement) go to the
// parent widget, the chart frame; the status and read-out texts and the commands of context
// menus go to hooks the program sets.
#include <functional>
#include <QLabel>
#include <QPointer>
#include <memory>
#include <string>

#include "corvex/ostrel_view.h"
#include "platform/ui/window_widget.h"

class CChartViewWidget : public vd::ui::WindowWidget,
                         private vd::ui::MessageProc,
                         private CViewWindow,
                         private CViewFrame {
 public:
  struct Hooks {
    std::function<void(const std::string& text)> status_text;  // the main frame's status bar
    std::function<void(const std::string& text)> readout_text;  // its read-out pane
    std::function<void(int command_id)> run_command;  // a context menu's choice
    std::function<void(COstrelView* view)> view_destroying;  // the view is about to go
  };

  explicit CChartViewWidget(CViewDocument& document, QWidget* parent = nullptr);
  // The view goes first, while its window still takes the tiles it waits for.
  ~CChartViewWidget() override;

  // Null once the window is destroyed.
  COstrelView* view() const { return view_; }
  void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // The main keyboard's "=+" and "-_" keys, which the window does not translate, reach the
  // view as its zoom keys.

 private:
  intptr_t HandleMessage(vd::ui::NativeWindow& window, const vd::ui::Message& message) override;
  // After input: the view's cursor, and its tip when one shows.
  void ShowViewCursorAndTip();
  void LoseCapture();
  void DestroyView();
  QWidget* Frame();

  // CViewWindow
  vd::os::MessageWindow& MessageTarget() override { return message_window(); }
  void Invalidate(const vd::ui::Rect& rect) override;
  bool SetTimer(uintptr_t id, int interval_ms) override {
    return NativeWindow::SetTimer(id, interval_ms);
  }
  vd::ui::Size ScreenSize() const override;
  QWidget* DialogOwner() override { return this; }
  vd::ui::Point ClientToScreen(vd::ui::Point client) const override;
  void SetCursorScreenPos(vd::ui::Point screen) override;
  void ShowLogo(const std::string& image_path) override;
  // Keeps the logo at its corner.
  void PlaceLogo();

  // CViewFrame
  void SetStatusText(const std::string& text) override;
  void SetFrameTitle(const std::string& title) override;
  void MaximiseFrame() override;
  void CloseFrame() override;
  void SetFramePlacement(const CWindowPlacement& placement) override;
  std::unique_ptr<vd::ui::PopupMenu> LoadContextMenu(int menu_id) override;
  // Entries take the state of the view's and the document's commands first.
  void TrackContextMenu(const vd::ui::PopupMenu& menu, const vd::ui::Point& client_point) override;
  void SetReadoutText(const std::string& text) override;

  std::unique_ptr<COstrelView> owned_view_;
  // The same view for the messages: still set while the view's destructor waits for tiles.
  COstrelView* view_ = nullptr;
  Hooks hooks_;
  QPointer<QLabel> logo_;  // the chart's logo ("Logo"); null when none shows
};
