#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/window_messages.h"
#include "viewer_lib/dlg_buttons.h"
#include "viewer_lib/dlg_options.h"

namespace {

using vd::ui::DialogWindow;

struct Seen {
  std::vector<int> calls;  // option indices, in order
};

void Record(void* context, int option) { static_cast<Seen*>(context)->calls.push_back(option); }

// What the open dialog showed when the test acted on it.
struct Shown {
  std::vector<int> visible_buttons;
  std::vector<std::string> texts;
  int default_button = 0;
  std::string title;
  std::string body;
};

DialogWindow* OpenDialog() { return dynamic_cast<DialogWindow*>(QApplication::activeModalWidget()); }

void Click(int id) { OpenDialog()->ControlAs<QPushButton>(id)->click(); }

// Runs MessageBoxN and, once it is open, notes what it shows and then does `act`.
int RunOptions(Seen& seen, const std::vector<DialogOption>& options, Shown& shown,
               const std::function<void()>& act) {
  QTimer::singleShot(0, [&] {
    DialogWindow* window = OpenDialog();
    ASSERT_NE(window, nullptr);
    shown = {};
    shown.title = window->windowTitle().toStdString();
    shown.body = window->ItemText(CDlgOptions::kTextControl);
    shown.default_button = window->DefaultButton();
    for (const int id : CDlgOptions::kButtons) {
      auto* button = window->ControlAs<QPushButton>(id);
      if (!button || button->isHidden()) continue;
      shown.visible_buttons.push_back(id);
      shown.texts.push_back(button->text().toStdString());
    }
    act();
  });
  return MessageBoxN(nullptr, &seen, "Title", "Body text", options);
}

TEST(DialogOptions, ButtonsFollowTheNumberOfOptions) {
  struct Case {
    std::vector<DialogOption> options;
    std::vector<int> buttons;
  };
  const std::vector<Case> cases = {
      {{{"One", Record}}, {3}},
      {{{"One", Record}, {"Two", Record}}, {1403, 3}},
      {{{"One", Record}, {"Two", Record}, {"Three", Record}}, {1404, 1403, 3}},
      {{{"A", Record}, {"B", Record}, {"C", Record}, {"D", Record}, {"E", Record}},
       {4, 1404, 1403, 3}},
  };
  for (const Case& c : cases) {
    for (size_t press = 0; press < c.buttons.size(); ++press) {
      Seen seen;
      Shown shown;
      const int result =
          RunOptions(seen, c.options, shown, [&] { Click(c.buttons[press]); });
      EXPECT_EQ(result, vd::ui::kIdOk);
      EXPECT_EQ(shown.visible_buttons, c.buttons);
      EXPECT_EQ(shown.default_button, c.buttons.front());
      EXPECT_EQ(shown.texts.front(), c.options.front().text);
      EXPECT_EQ(shown.title, "Title");
      EXPECT_EQ(shown.body, "Body text");
      EXPECT_EQ(seen.calls, std::vector<int>{int(press)})
          << c.buttons.size() << " options, button " << press;
    }
  }
}

TEST(DialogOptions, EscapeAndEmptySlotsCloseWithoutACall) {
  Seen seen;
  Shown shown;
  const std::vector<DialogOption> options = {{"Yes", Record}, {"No", nullptr}, {"Maybe", Record}};
  EXPECT_EQ(RunOptions(seen, options, shown,
                       [] {
                         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                         QCoreApplication::sendEvent(OpenDialog(), &escape);
                       }),
            vd::ui::kIdCancel);
  EXPECT_TRUE(seen.calls.empty()) << "Escape is not option 2";

  EXPECT_EQ(RunOptions(seen, options, shown, [] { Click(1403); }), vd::ui::kIdOk);
  EXPECT_TRUE(seen.calls.empty()) << "option 1 has no callback";
}

TEST(DialogOptions, OtherCommandsAreTheOptionIndex) {
  Seen seen;
  Shown shown;
  const std::vector<DialogOption> options = {{"A", Record}, {"B", Record}, {"C", Record}};
  RunOptions(seen, options, shown, [] { OpenDialog()->SendCommand(vd::ui::kIdCancel, 0); });
  EXPECT_TRUE(seen.calls.empty());
  RunOptions(seen, options, shown, [] { OpenDialog()->SendCommand(1, 0); });
  EXPECT_EQ(seen.calls, std::vector<int>{1}) << "command 1 runs option 1";
  seen.calls.clear();
  RunOptions(seen, options, shown, [] { OpenDialog()->SendCommand(7, 0); });
  EXPECT_TRUE(seen.calls.empty()) << "an index past the callbacks closes without a call";
}

constexpr int kButtonsTemplate = 9310;
constexpr int kText = 500;

class ButtonDialog : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    vd::ui::RegisterDialogTemplate(kButtonsTemplate, [](DialogWindow& d) {
      auto* layout = new QVBoxLayout(&d);
      layout->addWidget(d.AddControl(kText, new QLabel));
      layout->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
    });
  }
  static void TearDownTestSuite() { vd::ui::UnregisterDialogTemplate(kButtonsTemplate); }
};

TEST_F(ButtonDialog, ReturnsTheClosingCommand) {
  std::string text;
  QTimer::singleShot(0, [&] {
    text = OpenDialog()->ItemText(kText);
    Click(vd::ui::kIdOk);
  });
  EXPECT_EQ(ShowButtonDialog(kButtonsTemplate, nullptr, "Pick one", kText), vd::ui::kIdOk);
  EXPECT_EQ(text, "Pick one");

  // A menu or accelerator command carries no control.
  QTimer::singleShot(0, [] { OpenDialog()->Send(vd::ui::kWmCommand, 4321, 0); });
  EXPECT_EQ(ShowButtonDialog(kButtonsTemplate, nullptr, "x", kText), 4321);
}

}  // namespace
