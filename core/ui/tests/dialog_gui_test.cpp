#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/completion_callback.h"
#include "core/ui/dialog.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/message_box.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_widget.h"

namespace {

using namespace vd::ui;

constexpr int kTemplate = 9201;
constexpr int kName = 300;
constexpr int kApply = 301;

// What the callbacks saw, in the order they ran.
std::vector<std::string> g_runs;

// A callback that logs its name and the chained value it received, and hands on `value + 10`.
CCompletionCallback::Callable Logger(const std::string& name) {
  return [name](int chained) {
    g_runs.push_back(name + "(" + std::to_string(chained) + ")");
    return chained + 10;
  };
}

// Registers C and D while it is open, then closes as told.
class ClosingDialog : public Dialog {
 public:
  enum class Close { kOkButton, kEscape };
  ClosingDialog(Close close) : Dialog(kTemplate), close_(close) {}

  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    c_.Register(Logger("C"));
    d_.Register(Logger("D"));
    QTimer::singleShot(0, widget(), [this] {
      if (close_ == Close::kOkButton) {
        qobject_cast<QPushButton*>(GetItem(kIdOk))->click();
      } else {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(widget(), &escape);
      }
    });
    return Dialog::OnInitDialog(focus, param);
  }

 private:
  Close close_;
  CCompletionCallback c_, d_;
};

class DialogTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterDialogTemplate(kTemplate, [](DialogWindow& d) {
      auto* layout = new QVBoxLayout(&d);
      layout->addWidget(d.AddControl(kName, new QLineEdit("start")));
      layout->addWidget(d.AddControl(kApply, new QPushButton("Apply")));
      layout->addWidget(d.AddControl(kIdOk, new QPushButton("OK")));
      layout->addWidget(d.AddControl(kIdCancel, new QPushButton("Cancel")));
    });
  }
  static void TearDownTestSuite() { UnregisterDialogTemplate(kTemplate); }
  void SetUp() override { g_runs.clear(); }
};

struct Boxes : DialogResponder {
  std::vector<MessageBoxRequest> shown;
  int MessageBox(const MessageBoxRequest& request) override {
    shown.push_back(request);
    return kIdOk;
  }
};

TEST_F(DialogTest, ClosingRunsTheCallbacksTakenAtOpeningThenThoseRegisteredWhileOpen) {
  const struct {
    ClosingDialog::Close close;
    int result;
    std::vector<std::string> runs;
  } cases[] = {
      {ClosingDialog::Close::kOkButton, kIdOk, {"open", "B(0)", "A(10)", "D(20)", "C(30)"}},
      {ClosingDialog::Close::kEscape, kIdCancel, {"open", "B(-1)", "A(9)", "D(19)", "C(29)"}},
  };
  for (const auto& c : cases) {
    g_runs.clear();
    std::optional<int> result;
    // A and B wait; the dialog opens from the chain's first callback, which takes them over.
    CCompletionCallback a, b, opener;
    a.Register(Logger("A"));
    b.Register(Logger("B"));
    opener.Register([&](int chained) {
      g_runs.push_back("open");
      ClosingDialog dialog(c.close);
      result = dialog.DoModal(nullptr);
      return chained;
    });
    RunPendingCallbacks(a);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_runs, c.runs);
  }
}

TEST_F(DialogTest, TemplateZeroReturnsCancelAtOnceShowingNothing) {
  Boxes boxes;
  ScopedResponder scope(&boxes);
  CCompletionCallback pending;
  pending.Register(Logger("pending"));
  const auto windows_before = QApplication::topLevelWidgets().size();
  {
    Dialog dialog(0);
    EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows_before);
  }
  EXPECT_TRUE(boxes.shown.empty());
  // The dialog took the pending entry and dropped it unrun.
  RunPendingCallbacks(pending);
  EXPECT_TRUE(g_runs.empty());
}

TEST_F(DialogTest, AnUnknownTemplateIsReportedAndGivesMinusOne) {
  Boxes boxes;
  ScopedResponder scope(&boxes);
  Dialog dialog(9299);
  EXPECT_EQ(dialog.DoModal(nullptr), -1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Dialog 9299 failed: err=0x716");
  EXPECT_EQ(boxes.shown[0].caption, "Internal error");
  EXPECT_EQ(boxes.shown[0].flags, kMbIconError);
}

// Reads and writes its controls, then ends from OnInitDialog with a value of its own.
class EditingDialog : public Dialog {
 public:
  EditingDialog() : Dialog(kTemplate) {}
  std::string before, after;
  bool default_missing = true, default_apply = false, default_again = false;

  bool OnInitDialog(QWidget*, intptr_t) override {
    before = GetItemText(kName);
    SetItemText(kName, "Kn\xC3\xB6ll");
    after = GetItemText(kName);
    default_missing = SetDefaultButton(999);
    default_apply = SetDefaultButton(kApply);
    default_again = SetDefaultButton(kApply);
    EndDialog(42);
    return true;
  }
};

TEST_F(DialogTest, ItemTextDefaultButtonAndEndingFromInit) {
  EditingDialog dialog;
  EXPECT_EQ(dialog.DoModal(nullptr), 42);
  EXPECT_EQ(dialog.before, "start");
  EXPECT_EQ(dialog.after, "Kn\xC3\xB6ll");
  EXPECT_FALSE(dialog.default_missing);
  EXPECT_TRUE(dialog.default_apply);
  EXPECT_TRUE(dialog.default_again);
  EXPECT_EQ(dialog.handle(), nullptr);  // the window is gone once DoModal returns
}

struct WheelTarget : MessageProc {
  std::vector<Message> wheel;
  intptr_t HandleMessage(NativeWindow&, const Message& m) override {
    if (m.msg == kWmMouseWheel) wheel.push_back(m);
    return 77;
  }
};

// Checks its wheel and moving handling while open, then cancels.
class ScrollingDialog : public Dialog {
 public:
  explicit ScrollingDialog(NativeWindow* target) : Dialog(kTemplate), target_(target) {}
  intptr_t forwarded = 0, without_target = -1;
  std::vector<uint32_t> messages;
  bool moved_before = true, moved_after = false;

  bool OnInitDialog(QWidget*, intptr_t) override {
    const uintptr_t w = MakeWParam(0, -120);
    SetScrollTarget(target_);
    forwarded = handle()->Send(kWmMouseWheel, w, 0);
    SetScrollTarget(nullptr);
    without_target = handle()->Send(kWmMouseWheel, w, 0);
    moved_before = moved();
    handle()->Send(kWmMoving);
    moved_after = moved();
    EndDialog(kIdCancel);
    return true;
  }
  intptr_t OnMessage(uint32_t msg, uintptr_t, intptr_t) override {
    messages.push_back(msg);
    return 0;
  }

 private:
  NativeWindow* target_;
};

TEST_F(DialogTest, WheelGoesToTheScrollTargetAndDraggingSetsMoved) {
  WheelTarget proc;  // outlives the window, which tells it of its end
  WindowWidget target;
  target.SetProc(&proc);
  ScrollingDialog dialog(&target);
  EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
  EXPECT_EQ(dialog.forwarded, 77);
  ASSERT_EQ(proc.wheel.size(), 1u);
  EXPECT_EQ(WheelDeltaFromWParam(proc.wheel[0].wparam), -120);
  EXPECT_EQ(dialog.without_target, 0);
  EXPECT_EQ(std::count(dialog.messages.begin(), dialog.messages.end(), kWmMouseWheel), 1);
  EXPECT_EQ(std::count(dialog.messages.begin(), dialog.messages.end(), kWmMoving), 1);
  EXPECT_FALSE(dialog.moved_before);
  EXPECT_TRUE(dialog.moved_after);
}

TEST_F(DialogTest, AScrollTargetThatIsGoneIsNoLongerAWindow) {
  auto* target = new WindowWidget;
  WheelTarget proc;
  target->SetProc(&proc);
  class Probe : public Dialog {
   public:
    explicit Probe(NativeWindow* t) : Dialog(kTemplate) { SetScrollTarget(t); }
    intptr_t answer = -1;
    bool OnInitDialog(QWidget*, intptr_t) override {
      answer = handle()->Send(kWmMouseWheel, MakeWParam(0, 120), 0);
      EndDialog(kIdOk);
      return true;
    }
  } probe(target);
  delete target;
  EXPECT_EQ(probe.DoModal(nullptr), kIdOk);
  EXPECT_EQ(probe.answer, 0);
  EXPECT_TRUE(proc.wheel.empty());
}

}  // namespace
