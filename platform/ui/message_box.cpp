#include "platform/ui/message_box.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace vd::ui {

std::vector<int> MessageBoxButtons(uint32_t flags) {
  switch (flags & kMbButtonMask) {
    case kMbOkCancel: return {kIdOk, kIdCancel};
    case kMbAbortRetryIgnore: return {kIdAbort, kIdRetry, kIdIgnore};
    case kMbYesNoCancel: return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo: return {kIdYes, kIdNo};
    case kMbRetryCancel: return {kIdRetry, kIdCancel};
    default: return {kIdOk};
  }
}

QWidget* DialogOwner(QWidget* wanted) {
  QWidget* window = wanted ? wanted->window() : nullptr;
  while (window && window->windowType() == Qt::SplashScreen) {
    QWidget* parent = window->parentWidget();
    window = parent ? parent->window() : nullptr;
  }
  return window;
}

QWidget* ActiveDialogOwner() { return DialogOwner(QApplication::activeWindow()); }

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  uint32_t flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const int answer =
      CurrentResponder().MessageBox(MessageBoxRequest{DialogOwner(owner), text, caption, flags});
  if (std::find(buttons.begin(), buttons.end(), answer) != buttons.end()) return answer;
  const bool has_cancel = std::find(buttons.begin(), buttons.end(), kIdCancel) != buttons.end();
  return has_cancel ? kIdCancel : buttons.back();
}

}  // namespace vd::ui
