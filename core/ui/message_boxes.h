#pragma once
// The message boxes the programs show. Each goes through vd::ui::RunMessageBox, so a test's
// responder answers them.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/message_box.h"

class QWidget;

// A warning box with OK.
void ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text);
// An information box captioned "Hint", without owner.
void ShowHint(const std::string& text);

// Receives the context given to AskYesNo and the answer: 0 for Yes, -1 otherwise.
using YesNoCallback = std::function<void(void* context, int answer)>;
// A question box with Yes and No. Yes calls on_yes(context, 0); any other answer, closing the
// box included, calls on_no(context, -1). An empty callback is skipped.
void AskYesNo(QWidget* owner, void* context, const std::string& caption, const std::string& text,
              const YesNoCallback& on_yes, const YesNoCallback& on_no);

// printf formatting (C locale, any length) shown in the application's message box with the
// given flags (kMbIconError 16, kMbIconWarning 48, kMbIconQuestion | kMbYesNo 36, ...);
// returns the id of the button pressed.
int FormatMessageBox(uint32_t flags, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same in a box over `owner` with the message-box flags `type`.
int MessageBoxPrintf(QWidget* owner, uint32_t type, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
