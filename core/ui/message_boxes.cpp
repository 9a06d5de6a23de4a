#include "core/ui/message_boxes.h"

#include <QApplication>
#include <QWidget>
#include <cstdarg>

#include "platform/os/numbers.h"
#include "platform/ui/window_messages.h"

void ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text) {
  vd::ui::RunMessageBox(owner, text, caption, vd::ui::kMbIconWarning);
}

void ShowHint(const std::string& text) {
  vd::ui::RunMessageBox(nullptr, text, "Hint", vd::ui::kMbIconInformation);
}

void AskYesNo(QWidget* owner, void* context, const std::string& caption, const std::string& text,
              const YesNoCallback& on_yes, const YesNoCallback& on_no) {
  const int answer =
      vd::ui::RunMessageBox(owner, text, caption, vd::ui::kMbIconQuestion | vd::ui::kMbYesNo);
  if (answer == vd::ui::kIdYes) {
    if (on_yes) on_yes(context, 0);
  } else if (on_no) {
    on_no(context, -1);
  }
}

namespace {

int ShowFormatted(QWidget* owner, uint32_t flags, const char* format, va_list args) {
  const std::string text = vd::os::VFormatC(format, args);
  return vd::ui::RunMessageBox(owner, text, QApplication::applicationDisplayName().toStdString(),
                               flags);
}

}  // namespace

int FormatMessageBox(uint32_t flags, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int button = ShowFormatted(QApplication::activeWindow(), flags, format, args);
  va_end(args);
  return button;
}

int MessageBoxPrintf(QWidget* owner, uint32_t type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int button = ShowFormatted(owner, type, format, args);
  va_end(args);
  return button;
}
