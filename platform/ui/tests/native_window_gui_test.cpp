#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/ui/tests/event_wait.h"
#include "platform/ui/window_widget.h"

namespace vd::ui {
namespace {

// Records what reaches the window and on which thread.
struct RecordingProc : MessageProc {
  std::vector<Message> messages;
  std::vector<std::thread::id> threads;
  intptr_t answer = 0;
  std::function<void(NativeWindow&, const Message&)> on_message;

  intptr_t HandleMessage(NativeWindow& window, const Message& m) override {
    messages.push_back(m);
    threads.push_back(std::this_thread::get_id());
    if (on_message) on_message(window, m);
    if (m.msg == kWmClose) return window.DefaultProc(m);
    return m.msg >= kWmUser ? answer + static_cast<intptr_t>(m.wparam) : 0;
  }
  std::vector<Message> Only(uint32_t msg) const {
    std::vector<Message> out;
    for (const Message& m : messages) {
      if (m.msg == msg) out.push_back(m);
    }
    return out;
  }
};

class NativeWindowTest : public testing::Test {
 protected:
  NativeWindowTest() : window_(new WindowWidget) { window_->SetProc(&proc_); }
  ~NativeWindowTest() override { delete window_.data(); }

  QPointer<WindowWidget> window_;
  RecordingProc proc_;
};

TEST_F(NativeWindowTest, PostFromAnotherThreadIsHandledOnTheUiThreadByTheEventLoop) {
  std::thread poster([this] { EXPECT_TRUE(window_->Post(kWmUser + 5, 11, 22)); });
  poster.join();
  // Queued, not handled, until the event loop runs.
  EXPECT_TRUE(proc_.Only(kWmUser + 5).empty());
  ASSERT_TRUE(test::RunEventsUntil([this] { return !proc_.Only(kWmUser + 5).empty(); }));
  const Message m = proc_.Only(kWmUser + 5).front();
  EXPECT_EQ(m.wparam, 11u);
  EXPECT_EQ(m.lparam, 22);
  EXPECT_EQ(proc_.threads.back(), std::this_thread::get_id());
}

TEST_F(NativeWindowTest, SendRunsAtOnceOnTheUiThreadAndWaitsForItFromOthers) {
  proc_.answer = 100;
  EXPECT_EQ(window_->Send(kWmUser + 1, 5), 105);
  ASSERT_EQ(proc_.Only(kWmUser + 1).size(), 1u);

  std::atomic<intptr_t> answer{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    answer = window_->Send(kWmUser + 2, 7);
    done = true;
  });
  EXPECT_TRUE(test::RunEventsUntil([&] { return done.load(); }));
  sender.join();
  EXPECT_EQ(answer.load(), 107);
  EXPECT_EQ(proc_.threads.back(), std::this_thread::get_id());
}

TEST_F(NativeWindowTest, MouseEventsCarryKeyFlagsAndSignedPositions) {
  struct Case {
    QEvent::Type type;
    Qt::MouseButton button;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    QPoint pos;
    uint32_t msg;
    uintptr_t flags;
  } cases[] = {
      {QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier, {10, 20},
       kWmLButtonDown, kMkLButton | kMkControl},
      {QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, Qt::NoModifier, {-3, 7},
       kWmLButtonUp, 0},
      {QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier, {1, 2},
       kWmLButtonDblClk, kMkLButton | kMkShift},
      {QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, Qt::NoModifier, {5, -9},
       kWmRButtonDown, kMkRButton},
      {QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier, {0, 0},
       kWmMButtonDown, kMkMButton},
      {QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, Qt::NoModifier, {300, 400},
       kWmMouseMove, kMkLButton},
  };
  for (const Case& c : cases) {
    proc_.messages.clear();
    QMouseEvent event(c.type, QPointF(c.pos), QPointF(window_->mapToGlobal(c.pos)), c.button,
                      c.buttons, c.modifiers);
    QCoreApplication::sendEvent(window_, &event);
    const std::vector<Message> got = proc_.Only(c.msg);
    ASSERT_EQ(got.size(), 1u) << "message " << c.msg;
    EXPECT_EQ(got[0].wparam, c.flags) << "message " << c.msg;
    EXPECT_EQ(XFromLParam(got[0].lparam), c.pos.x());
    EXPECT_EQ(YFromLParam(got[0].lparam), c.pos.y());
  }
}

TEST_F(NativeWindowTest, WheelCarriesSignedDeltaAndFlags) {
  QWheelEvent event(QPointF(4, 5), QPointF(40, 50), QPoint(), QPoint(0, -240), Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(window_, &event);
  const std::vector<Message> got = proc_.Only(kWmMouseWheel);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(WheelDeltaFromWParam(got[0].wparam), -240);
  EXPECT_EQ(LowWord(got[0].wparam), kMkControl);
}

TEST_F(NativeWindowTest, KeysBecomeVirtualKeysAndCharacters) {
  struct Case {
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    int vk;
    std::vector<uintptr_t> chars;
  } cases[] = {
      {Qt::Key_Up, Qt::NoModifier, "", kVkUp, {}},
      {Qt::Key_PageUp, Qt::NoModifier, "", kVkPrior, {}},
      {Qt::Key_End, Qt::NoModifier, "", kVkEnd, {}},
      {Qt::Key_Clear, Qt::KeypadModifier, "", kVkClear, {}},
      {Qt::Key_Control, Qt::ControlModifier, "", kVkControl, {}},
      {Qt::Key_F1, Qt::NoModifier, "", kVkF1, {}},
      {Qt::Key_F5, Qt::NoModifier, "", kVkF1 + 4, {}},
      {Qt::Key_A, Qt::NoModifier, "a", 'A', {'a'}},
      {Qt::Key_7, Qt::NoModifier, "7", '7', {'7'}},
      {Qt::Key_Plus, Qt::KeypadModifier, "+", kVkAdd, {'+'}},
      {Qt::Key_Plus, Qt::NoModifier, "+", kVkOemPlus, {'+'}},
      {Qt::Key_Minus, Qt::NoModifier, "-", kVkOemMinus, {'-'}},
      {Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("\xC3\xA9"), 0, {0xE9}},
  };
  for (const Case& c : cases) {
    proc_.messages.clear();
    QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, c.text);
    QCoreApplication::sendEvent(window_, &press);
    const std::vector<Message> down = proc_.Only(kWmKeyDown);
    if (c.vk == 0) {
      EXPECT_TRUE(down.empty()) << "key " << c.key;
    } else {
      ASSERT_EQ(down.size(), 1u) << "key " << c.key;
      EXPECT_EQ(down[0].wparam, static_cast<uintptr_t>(c.vk)) << "key " << c.key;
    }
    std::vector<uintptr_t> chars;
    for (const Message& m : proc_.Only(kWmChar)) chars.push_back(m.wparam);
    EXPECT_EQ(chars, c.chars) << "key " << c.key;
  }
}

TEST_F(NativeWindowTest, TimersWithIdsSendTimerMessagesUntilKilled) {
  ASSERT_TRUE(window_->SetTimer(7, 1));
  ASSERT_TRUE(window_->SetTimer(9, 1));
  const auto fired = [this](uintptr_t id) {
    for (const Message& m : proc_.Only(kWmTimer)) {
      if (m.wparam == id) return true;
    }
    return false;
  };
  ASSERT_TRUE(test::RunEventsUntil([&] { return fired(7) && fired(9); }));
  EXPECT_TRUE(window_->KillTimer(7));
  EXPECT_FALSE(window_->KillTimer(7));
  // Once 9 fired twice more, 7 cannot have fired in between.
  proc_.messages.clear();
  ASSERT_TRUE(test::RunEventsUntil([&] { return proc_.Only(kWmTimer).size() >= 2; }));
  EXPECT_FALSE(fired(7));
}

TEST_F(NativeWindowTest, CloseDestroysTheWindowOnceItsOwnMessageIsDone) {
  QCloseEvent close;
  QCoreApplication::sendEvent(window_, &close);
  EXPECT_EQ(proc_.Only(kWmDestroy).size(), 1u);
  EXPECT_EQ(proc_.Only(kWmNcDestroy).size(), 1u);
  ASSERT_TRUE(window_);  // freed later: it was inside its own message
  EXPECT_TRUE(window_->is_destroyed());
  EXPECT_FALSE(window_->Post(kWmUser));
  EXPECT_EQ(window_->Send(kWmUser, 1), 0);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(window_);
  EXPECT_EQ(proc_.Only(kWmDestroy).size(), 1u);
}

TEST_F(NativeWindowTest, WindowFreedByItsParentStillGetsItsDestroyMessages) {
  auto* parent = new QWidget;
  auto* child = new WindowWidget(parent);
  RecordingProc child_proc;
  child->SetProc(&child_proc);
  delete parent;
  EXPECT_EQ(child_proc.Only(kWmDestroy).size(), 1u);
  EXPECT_EQ(child_proc.Only(kWmNcDestroy).size(), 1u);
}

TEST_F(NativeWindowTest, PostsRacingTheWindowsEndAreRefusedOrDroppedSafely) {
  proc_.on_message = [](NativeWindow& window, const Message& m) {
    if (m.msg == kWmUser + 9) window.Destroy();
  };
  WindowWidget* window = window_;
  std::atomic<int> accepted{0};
  // Posts until the window refuses; the window is freed only after this thread has ended.
  std::thread poster([&] {
    while (window->Post(kWmUser)) ++accepted;
  });
  ASSERT_TRUE(test::RunEventsUntil([&] { return accepted > 100; }));
  window->Send(kWmUser + 9);
  poster.join();
  EXPECT_EQ(proc_.Only(kWmDestroy).size(), 1u);
  // Wake-ups still queued for the freed window go nowhere.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(window_);
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace vd::ui
