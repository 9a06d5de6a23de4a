#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <string>
#include <vector>

#include "core/ui/message_boxes.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using namespace vd::ui;

struct Answering : DialogResponder {
  int answer = kIdOk;
  std::vector<MessageBoxRequest> shown;
  int MessageBox(const MessageBoxRequest& request) override {
    shown.push_back(request);
    return answer;
  }
};

class MessageBoxesTest : public testing::Test {
 protected:
  Answering answering_;
  ScopedResponder scope_{&answering_};
};

TEST_F(MessageBoxesTest, WarningAndHintBoxes) {
  QWidget owner;
  ShowMessageBox(&owner, "Caption", "Text");
  ShowHint("Tap and hold");
  ASSERT_EQ(answering_.shown.size(), 2u);
  EXPECT_EQ(answering_.shown[0].owner, &owner);
  EXPECT_EQ(answering_.shown[0].caption, "Caption");
  EXPECT_EQ(answering_.shown[0].text, "Text");
  EXPECT_EQ(answering_.shown[0].flags, kMbIconWarning);
  EXPECT_EQ(answering_.shown[1].owner, nullptr);
  EXPECT_EQ(answering_.shown[1].caption, "Hint");
  EXPECT_EQ(answering_.shown[1].flags, kMbIconInformation);
}

TEST_F(MessageBoxesTest, AskYesNoCallsTheCallbackOfTheAnswer) {
  int context = 0;
  const struct {
    int answer;
    std::vector<std::string> calls;
  } cases[] = {
      {kIdYes, {"yes 0"}},
      {kIdNo, {"no -1"}},
      {kIdCancel, {"no -1"}},  // the box was closed
      {0, {"no -1"}},
  };
  for (const auto& c : cases) {
    answering_.answer = c.answer;
    std::vector<std::string> calls;
    AskYesNo(
        nullptr, &context, "Delete", "Delete the mark?",
        [&](void* ctx, int v) {
          EXPECT_EQ(ctx, &context);
          calls.push_back("yes " + std::to_string(v));
        },
        [&](void* ctx, int v) {
          EXPECT_EQ(ctx, &context);
          calls.push_back("no " + std::to_string(v));
        });
    EXPECT_EQ(calls, c.calls) << c.answer;
  }
  EXPECT_EQ(answering_.shown.back().flags, kMbIconQuestion | kMbYesNo);
  EXPECT_EQ(answering_.shown.back().caption, "Delete");

  // Missing callbacks are skipped.
  answering_.answer = kIdNo;
  AskYesNo(nullptr, nullptr, "c", "t", nullptr, nullptr);
  answering_.answer = kIdYes;
  AskYesNo(nullptr, nullptr, "c", "t", nullptr, nullptr);
}

TEST_F(MessageBoxesTest, FormatMessageBoxFormatsTextOfAnyLengthAndReturnsTheButton) {
  const std::string long_text(10000, 'x');
  answering_.answer = kIdNo;
  EXPECT_EQ(FormatMessageBox(36, "%s|%d|%.2f", long_text.c_str(), 42, 2.5), kIdNo);
  ASSERT_EQ(answering_.shown.size(), 1u);
  EXPECT_EQ(answering_.shown[0].text, long_text + "|42|2.50");
  EXPECT_EQ(answering_.shown[0].flags, 36u);
  EXPECT_EQ(answering_.shown[0].caption, QApplication::applicationDisplayName().toStdString());
}

TEST_F(MessageBoxesTest, MessageBoxPrintfShowsOverItsOwner) {
  QWidget owner;
  const std::string long_text(5000, 'y');
  answering_.answer = kIdCancel;
  EXPECT_EQ(MessageBoxPrintf(&owner, kMbIconError | kMbOkCancel, "%s %s=%d", long_text.c_str(),
                             "n", -7),
            kIdCancel);
  ASSERT_EQ(answering_.shown.size(), 1u);
  EXPECT_EQ(answering_.shown[0].owner, &owner);
  EXPECT_EQ(answering_.shown[0].text, long_text + " n=-7");
  EXPECT_EQ(answering_.shown[0].flags, kMbIconError | kMbOkCancel);
  EXPECT_EQ(answering_.shown[0].caption, QApplication::applicationDisplayName().toStdString());
}

}  // namespace
