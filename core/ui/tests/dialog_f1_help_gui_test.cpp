#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/help_pages.h"
#include "tests/temp_dir.h"

namespace {

using namespace vd::ui;

constexpr int kTemplate = 9301;

// Asks for help in one of the ways a user can while open, then closes with OK.
class HelpedDialog : public CDialogF1Help {
 public:
  HelpedDialog(std::function<void(HelpedDialog&)> ask) : CDialogF1Help(kTemplate, nullptr), ask_(std::move(ask)) {}
  bool init_called = false;

  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    init_called = CDialogF1Help::OnInitDialog(focus, param);
    ask_(*this);
    OnOK();
    return true;
  }

 private:
  std::function<void(HelpedDialog&)> ask_;
};

class DialogF1HelpTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterDialogTemplate(kTemplate, [](DialogWindow& d) {
      auto* layout = new QVBoxLayout(&d);
      layout->addWidget(d.AddControl(kIdOk, new QPushButton("OK")));
      layout->addWidget(d.AddControl(kIdHelp, new QPushButton("Help")));
    });
    SetHelpFolder(dir_.path());
    std::ofstream(dir_.File("dialog_9301.html")) << "<html></html>";
    SetDocumentOpener([this](const std::string& path) {
      opened_.push_back(path);
      return true;
    });
  }
  void TearDown() override {
    SetDocumentOpener(nullptr);
    UnregisterDialogTemplate(kTemplate);
  }

  vd::test::TempDir dir_;
  std::vector<std::string> opened_;
};

TEST_F(DialogF1HelpTest, F1TheHelpButtonAndTheHelpCommandOpenTheTopicPage) {
  const struct {
    const char* how;
    std::function<void(HelpedDialog&)> ask;
  } cases[] = {
      {"F1",
       [](HelpedDialog& d) {
         QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
         QCoreApplication::sendEvent(d.GetItem(kIdOk), &f1);
       }},
      {"help button", [](HelpedDialog& d) { qobject_cast<QPushButton*>(d.GetItem(kIdHelp))->click(); }},
      {"system command",
       [](HelpedDialog& d) { d.handle()->Send(kWmSysCommand, kScContextHelp, 0); }},
  };
  for (const auto& c : cases) {
    opened_.clear();
    HelpedDialog dialog(c.ask);
    EXPECT_EQ(dialog.DoModal(), kIdOk) << c.how;
    EXPECT_TRUE(dialog.init_called);
    EXPECT_EQ(opened_, std::vector<std::string>{dir_.File("dialog_9301.html")}) << c.how;
  }
}

TEST_F(DialogF1HelpTest, OtherSystemCommandsOpenNothing) {
  HelpedDialog dialog([](HelpedDialog& d) { d.handle()->Send(kWmSysCommand, kScClose, 0); });
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_TRUE(opened_.empty());
}

}  // namespace
