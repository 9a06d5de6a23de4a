#include "platform/ui/message_box.h"

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

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  uint32_t flags) {
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const int answer = CurrentResponder().MessageBox(MessageBoxRequest{owner, text, caption, flags});
  if (std::find(buttons.begin(), buttons.end(), answer) != buttons.end()) return answer;
  const bool has_cancel = std::find(buttons.begin(), buttons.end(), kIdCancel) != buttons.end();
  return has_cancel ? kIdCancel : buttons.back();
}

}  // namespace vd::ui
