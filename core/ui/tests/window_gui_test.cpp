#include <gtest/gtest.h>

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "core/ui/instance_subclasser.h"
#include "core/ui/window.h"
#include "platform/ui/tests/event_wait.h"
#include "platform/ui/window_widget.h"

namespace {

using namespace vd::ui;

// Writes down every handler call.
class LoggingWindow : public Window {
 public:
  std::vector<std::string> log;

  void OnPaint() override { log.push_back("paint"); }
  void OnDestroy() override { log.push_back(handle() ? "destroy" : "destroy without handle"); }
  void OnCommand(int id, QWidget*, int code) override {
    log.push_back("command " + std::to_string(id) + " " + std::to_string(code));
  }
  void OnLButtonDown(bool double_click, int x, int y, unsigned flags) override {
    log.push_back(std::string(double_click ? "double " : "down ") + std::to_string(x) + " " +
                  std::to_string(y) + " " + std::to_string(flags));
  }
  void OnTimer(uintptr_t id) override { log.push_back("timer " + std::to_string(id)); }
  void OnSize(int w, int h) override {
    log.push_back("size " + std::to_string(w) + " " + std::to_string(h));
  }
  intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l) override {
    if (msg >= kWmUser) {
      log.push_back("user " + std::to_string(msg - kWmUser));
      on_ui_thread = std::this_thread::get_id() == ui_thread;
      return static_cast<intptr_t>(w) * 2;
    }
    return Window::WndProc(msg, w, l);
  }
  bool Has(const std::string& entry) const {
    return std::find(log.begin(), log.end(), entry) != log.end();
  }

  std::thread::id ui_thread = std::this_thread::get_id();
  bool on_ui_thread = false;
};

TEST(WindowTest, MessagesBecomeHandlerCalls) {
  LoggingWindow window;
  ASSERT_TRUE(window.Create(nullptr));
  EXPECT_FALSE(window.Create(nullptr));
  QWidget* widget = window.widget();

  QMouseEvent down(QEvent::MouseButtonPress, QPointF(-5, 6), QPointF(0, 0), Qt::LeftButton,
                   Qt::LeftButton, Qt::ShiftModifier);
  QCoreApplication::sendEvent(widget, &down);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(7, 8), QPointF(0, 0), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &dbl);
  widget->resize(120, 80);
  widget->show();
  window.handle()->Send(kWmCommand, MakeWParam(42, kEnChange), 0);

  EXPECT_TRUE(window.Has("down -5 6 " + std::to_string(kMkLButton | kMkShift)));
  EXPECT_TRUE(window.Has("double 7 8 " + std::to_string(kMkLButton)));
  EXPECT_TRUE(window.Has("size 120 80"));
  EXPECT_TRUE(window.Has("command 42 768"));

  window.DestroyWindow();
  EXPECT_TRUE(window.Has("destroy"));
  EXPECT_EQ(window.handle(), nullptr);
}

// Paints its whole client area red.
class RedWindow : public Window {
 public:
  void OnPaint() override {
    QPainter painter(widget());
    painter.fillRect(widget()->rect(), Qt::red);
  }
};

TEST(WindowTest, OnPaintMayPaintTheWindow) {
  RedWindow window;
  ASSERT_TRUE(window.Create(nullptr));
  window.widget()->resize(20, 10);
  const QImage image = window.widget()->grab().toImage();
  ASSERT_EQ(image.width(), 20);
  EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));
  EXPECT_EQ(image.pixelColor(19, 9), QColor(Qt::red));
}

TEST(WindowTest, TimersWithIdsFireOnTimer) {
  LoggingWindow window;
  ASSERT_TRUE(window.Create(nullptr));
  ASSERT_TRUE(window.handle()->SetTimer(3, 1));
  ASSERT_TRUE(window.handle()->SetTimer(12, 1));
  ASSERT_TRUE(vd::test::RunEventsUntil([&] { return window.Has("timer 3") && window.Has("timer 12"); }));
}

TEST(WindowTest, PostFromAWorkerReachesWndProcOnTheUiThread) {
  LoggingWindow window;
  ASSERT_TRUE(window.Create(nullptr));
  NativeWindow* handle = window.handle();
  std::thread worker([handle] { handle->Post(kWmUser + 16, 1, 0); });
  worker.join();
  ASSERT_TRUE(vd::test::RunEventsUntil([&] { return window.Has("user 16"); }));
  EXPECT_TRUE(window.on_ui_thread);
  // Send from the UI thread is a direct call.
  EXPECT_EQ(handle->Send(kWmUser + 17, 21), 42);
  EXPECT_TRUE(window.Has("user 17"));
}

TEST(WindowTest, AWindowFreedByItsParentClearsTheHandle) {
  auto* parent = new QWidget;
  LoggingWindow window;
  ASSERT_TRUE(window.Create(parent));
  delete parent;
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_TRUE(window.Has("destroy"));
}

TEST(WindowTest, DestroyingTheObjectDestroysItsWindow) {
  QPointer<QWidget> widget;
  {
    LoggingWindow window;
    ASSERT_TRUE(window.Create(nullptr));
    widget = window.widget();
  }
  EXPECT_FALSE(widget);
}

}  // namespace
