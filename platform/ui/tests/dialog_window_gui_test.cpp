#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/dialog_templates.h"

namespace vd::ui {
namespace {

enum : int {
  kTemplate = 9101,
  kEdit = 100,
  kMultiLine,
  kLabel,
  kCheck,
  kRadio,
  kCombo,
  kList,
  kGroup,
  kApply,
  kProgress,  // a control without text
};

struct Commands : MessageProc {
  std::vector<Message> seen;
  std::function<void(NativeWindow&, const Message&)> on_message;
  intptr_t HandleMessage(NativeWindow& window, const Message& m) override {
    seen.push_back(m);
    if (on_message) on_message(window, m);
    return 0;
  }
  std::vector<std::pair<int, int>> CommandIds() const {
    std::vector<std::pair<int, int>> out;
    for (const Message& m : seen) {
      if (m.msg == kWmCommand) out.emplace_back(LowWord(m.wparam), HighWord(m.wparam));
    }
    return out;
  }
  size_t Count(uint32_t msg) const {
    return std::count_if(seen.begin(), seen.end(), [msg](const Message& m) { return m.msg == msg; });
  }
};

class DialogWindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterDialogTemplate(kTemplate, [](DialogWindow& d) {
      auto* layout = new QVBoxLayout(&d);
      layout->addWidget(d.AddControl(kEdit, new QLineEdit));
      layout->addWidget(d.AddControl(kMultiLine, new QPlainTextEdit));
      layout->addWidget(d.AddControl(kLabel, new QLabel("label")));
      layout->addWidget(d.AddControl(kCheck, new QCheckBox("check")));
      layout->addWidget(d.AddControl(kRadio, new QRadioButton("radio")));
      auto* combo = d.AddControl(kCombo, new QComboBox);
      combo->addItems({"one", "two"});
      layout->addWidget(combo);
      auto* list = d.AddControl(kList, new QListWidget);
      list->addItems({"a", "b"});
      layout->addWidget(list);
      layout->addWidget(d.AddControl(kGroup, new QGroupBox("group")));
      layout->addWidget(d.AddControl(kApply, new QPushButton("Apply")));
      layout->addWidget(d.AddControl(kProgress, new QWidget));
      layout->addWidget(d.AddControl(kIdOk, new QPushButton("OK")));
      layout->addWidget(d.AddControl(kIdCancel, new QPushButton("Cancel")));
    });
  }
  static void TearDownTestSuite() { UnregisterDialogTemplate(kTemplate); }

  void SetUp() override {
    dialog_ = CreateDialogFromTemplate(kTemplate, nullptr);
    ASSERT_NE(dialog_, nullptr);
    dialog_->SetProc(&commands_);
  }
  void TearDown() override { delete dialog_.data(); }

  void PressKey(int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget()
                                                            : static_cast<QWidget*>(dialog_),
                                &event);
  }

  QPointer<DialogWindow> dialog_;
  Commands commands_;
};

TEST_F(DialogWindowTest, UnknownTemplateBuildsNothing) {
  EXPECT_FALSE(HasDialogTemplate(9199));
  EXPECT_EQ(CreateDialogFromTemplate(9199, nullptr), nullptr);
}

TEST_F(DialogWindowTest, ControlTextByIdForEachKindOfControl) {
  const struct {
    int id;
    std::string before;
    std::string set;
    bool settable;
  } cases[] = {
      {kEdit, "", "x\xC3\xA9y", true},     {kMultiLine, "", "line 1\nline 2", true},
      {kLabel, "label", "new label", true}, {kCheck, "check", "tick", true},
      {kCombo, "one", "three", false},      {kGroup, "group", "frame", true},
      {kProgress, "", "nothing", false},    {4242, "", "missing", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dialog_->ItemText(c.id), c.before) << c.id;
    EXPECT_EQ(dialog_->SetItemText(c.id, c.set), c.settable) << c.id;
    EXPECT_EQ(dialog_->ItemText(c.id), c.settable ? c.set : c.before) << c.id;
  }
}

TEST_F(DialogWindowTest, CheckStatesAndEnabling) {
  EXPECT_EQ(dialog_->CheckState(kCheck), 0);
  EXPECT_TRUE(dialog_->SetCheckState(kCheck, 1));
  EXPECT_EQ(dialog_->CheckState(kCheck), 1);
  EXPECT_TRUE(dialog_->SetCheckState(kCheck, 2));
  EXPECT_EQ(dialog_->CheckState(kCheck), 2);
  EXPECT_TRUE(dialog_->SetCheckState(kRadio, 1));
  EXPECT_EQ(dialog_->CheckState(kRadio), 1);
  EXPECT_FALSE(dialog_->SetCheckState(kRadio, 2));
  EXPECT_EQ(dialog_->CheckState(kEdit), -1);
  EXPECT_FALSE(dialog_->SetCheckState(kEdit, 1));

  EXPECT_TRUE(dialog_->EnableItem(kApply, false));
  EXPECT_FALSE(dialog_->Control(kApply)->isEnabled());
  EXPECT_FALSE(dialog_->EnableItem(4242, false));
}

TEST_F(DialogWindowTest, ControlsSendCommandsWithTheirIdAndCode) {
  dialog_->ControlAs<QPushButton>(kApply)->click();
  dialog_->ControlAs<QCheckBox>(kCheck)->click();
  dialog_->ControlAs<QLineEdit>(kEdit)->setText("typed");
  dialog_->ControlAs<QPlainTextEdit>(kMultiLine)->setPlainText("typed");
  emit dialog_->ControlAs<QComboBox>(kCombo)->activated(1);
  dialog_->ControlAs<QListWidget>(kList)->setCurrentRow(1);
  const std::vector<std::pair<int, int>> expected = {
      {kApply, kBnClicked}, {kCheck, kBnClicked},     {kEdit, kEnChange},
      {kMultiLine, kEnChange}, {kCombo, kCbnSelChange}, {kList, kCbnSelChange}};
  EXPECT_EQ(commands_.CommandIds(), expected);
  // The control travels in lParam.
  EXPECT_EQ(commands_.seen.front().lparam, reinterpret_cast<intptr_t>(dialog_->Control(kApply)));
}

TEST_F(DialogWindowTest, DefaultButtonMovesAndAMissingControlChangesNothing) {
  EXPECT_EQ(dialog_->DefaultButton(), 0);
  EXPECT_TRUE(dialog_->SetDefaultButton(kIdOk));
  EXPECT_TRUE(dialog_->ControlAs<QPushButton>(kIdOk)->isDefault());
  EXPECT_TRUE(dialog_->SetDefaultButton(kApply));
  EXPECT_FALSE(dialog_->ControlAs<QPushButton>(kIdOk)->isDefault());
  EXPECT_TRUE(dialog_->ControlAs<QPushButton>(kApply)->isDefault());
  EXPECT_TRUE(dialog_->SetDefaultButton(kApply));
  EXPECT_FALSE(dialog_->SetDefaultButton(4242));
  EXPECT_EQ(dialog_->DefaultButton(), kApply);
  EXPECT_TRUE(dialog_->ControlAs<QPushButton>(kApply)->isDefault());
}

TEST_F(DialogWindowTest, KeysAndTheCloseButtonSendCommandsButDoNotClose) {
  dialog_->show();
  dialog_->activateWindow();
  dialog_->ControlAs<QLineEdit>(kEdit)->setFocus();
  commands_.seen.clear();

  PressKey(Qt::Key_Return);  // no default button: OK
  dialog_->EnableItem(kIdOk, false);
  PressKey(Qt::Key_Return);  // a greyed OK is not pressed
  dialog_->EnableItem(kIdOk, true);
  ASSERT_TRUE(dialog_->SetDefaultButton(kApply));
  PressKey(Qt::Key_Enter);
  PressKey(Qt::Key_Escape);
  dialog_->close();
  PressKey(Qt::Key_F1);
  const std::vector<std::pair<int, int>> expected = {
      {kIdOk, kBnClicked}, {kApply, kBnClicked}, {kIdCancel, kBnClicked}, {kIdCancel, kBnClicked}};
  EXPECT_EQ(commands_.CommandIds(), expected);
  EXPECT_EQ(commands_.Count(kWmHelp), 1u);
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(DialogWindowTest, ModalRunEndsWithTheResultGivenToEnd) {
  commands_.on_message = [this](NativeWindow&, const Message& m) {
    if (m.msg == kWmCommand && LowWord(m.wparam) == kIdCancel) dialog_->End(kIdCancel);
  };
  QTimer::singleShot(0, dialog_, [this] {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_, &escape);
  });
  EXPECT_EQ(dialog_->RunModal(), kIdCancel);
  EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(DialogWindowTest, EndBeforeTheModalRunReturnsWithoutShowing) {
  dialog_->End(77);
  EXPECT_EQ(dialog_->RunModal(), 77);
  EXPECT_FALSE(dialog_->isVisible());
}

}  // namespace
}  // namespace vd::ui
