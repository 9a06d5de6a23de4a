#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <optional>

#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace vd::ui {
namespace {

struct Answering : DialogResponder {
  int button = 0;
  int item = 0;
  std::optional<MessageBoxRequest> asked;
  const PopupMenu* menu = nullptr;
  int MessageBox(const MessageBoxRequest& request) override {
    asked = request;
    return button;
  }
  int TrackPopupMenu(const PopupMenu& m, QWidget*, QPoint) override {
    menu = &m;
    return item;
  }
};

TEST(MessageBoxTest, ButtonSetsOfTheFlagValues) {
  const struct {
    uint32_t flags;
    std::vector<int> buttons;
  } cases[] = {
      {kMbOk | kMbIconError, {kIdOk}},
      {kMbOkCancel, {kIdOk, kIdCancel}},
      {kMbAbortRetryIgnore, {kIdAbort, kIdRetry, kIdIgnore}},
      {kMbYesNoCancel | kMbIconWarning, {kIdYes, kIdNo, kIdCancel}},
      {36, {kIdYes, kIdNo}},  // question icon with Yes and No
      {kMbRetryCancel, {kIdRetry, kIdCancel}},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageBoxButtons(c.flags), c.buttons) << c.flags;
}

TEST(MessageBoxTest, TheResponderAnswersAndAClosedBoxCountsAsCancelOrTheLastButton) {
  Answering answering;
  ScopedResponder scope(&answering);
  const struct {
    uint32_t flags;
    int answer;
    int result;
  } cases[] = {
      {kMbYesNo, kIdYes, kIdYes},          {kMbYesNo, kIdNo, kIdNo},
      {kMbYesNo, kIdCancel, kIdNo},        {kMbYesNo, 0, kIdNo},
      {kMbYesNoCancel, 0, kIdCancel},      {kMbOk, kIdYes, kIdOk},
      {kMbOkCancel, kIdRetry, kIdCancel},
  };
  for (const auto& c : cases) {
    answering.button = c.answer;
    EXPECT_EQ(RunMessageBox(nullptr, "text", "caption", c.flags), c.result)
        << c.flags << " " << c.answer;
  }
  ASSERT_TRUE(answering.asked);
  EXPECT_EQ(answering.asked->text, "text");
  EXPECT_EQ(answering.asked->caption, "caption");
}

TEST(MessageBoxTest, TheToolkitsBoxShowsTheButtonsAndReportsTheOnePressed) {
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Save?");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
    EXPECT_EQ(box->buttons().size(), 3);
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(RunMessageBox(nullptr, "Save?", "Corvex",
                          kMbYesNoCancel | kMbIconQuestion | kMbDefButton2),
            kIdNo);
}

TEST(PopupMenuTest, TrackReturnsTheChosenEnabledItem) {
  PopupMenu menu;
  menu.AppendItem(10, "Ten");
  menu.AppendSeparator();
  menu.AppendItem(11, "Eleven", PopupMenu::kDisabled);
  PopupMenu& sub = menu.AppendSubmenu("More");
  sub.AppendItem(20, "Twenty", PopupMenu::kChecked);

  Answering answering;
  ScopedResponder scope(&answering);
  const struct {
    int answer;
    int result;
  } cases[] = {{10, 10}, {20, 20}, {11, 0}, {99, 0}, {0, 0}};
  for (const auto& c : cases) {
    answering.item = c.answer;
    EXPECT_EQ(menu.Track(nullptr, QPoint(1, 1)), c.result) << c.answer;
  }
  EXPECT_EQ(answering.menu, &menu);
}

TEST(PopupMenuTest, TheToolkitsMenuReturnsTheIdOfTheActionTriggered) {
  PopupMenu menu;
  menu.AppendItem(10, "Ten");
  menu.AppendSubmenu("More").AppendItem(20, "Twenty");
  // Down to "More", Right into its submenu, Return on "Twenty".
  QTimer::singleShot(0, [] {
    for (const int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Return}) {
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(popup, nullptr);
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(popup, &press);
    }
  });
  // Whatever happened above, no menu stays open.
  QTimer::singleShot(0, [] {
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
  EXPECT_EQ(menu.Track(nullptr, QPoint(10, 10)), 20);
}

}  // namespace
}  // namespace vd::ui
