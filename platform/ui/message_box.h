#pragma once
// Message boxes with the button sets and icons the programs ask for by flag value. The current
// Responder (responder.h) answers.
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

namespace vd::ui {

// Button sets (low four bits).
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr uint32_t kMbAbortRetryIgnore = 0x2;
constexpr uint32_t kMbYesNoCancel = 0x3;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbRetryCancel = 0x5;
// Icons.
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
// Which button is the default (the first when none is given).
constexpr uint32_t kMbDefButton2 = 0x100;
constexpr uint32_t kMbDefButton3 = 0x200;

constexpr uint32_t kMbButtonMask = 0x0F;
constexpr uint32_t kMbIconMask = 0xF0;
constexpr uint32_t kMbDefaultMask = 0xF00;

// The ids (kIdOk, kIdYes, ...) of the buttons a flag set shows, in order.
std::vector<int> MessageBoxButtons(uint32_t flags);

// The window a message box or dialog meant for `wanted` is to belong to: its top-level window,
// passing over windows that go away on their own (the start-up splash), which would take a box
// still open with them. Null when none is left.
QWidget* DialogOwner(QWidget* wanted);
// DialogOwner of the active window.
QWidget* ActiveDialogOwner();

// Shows the box and returns the id of the button pressed. Closing the box counts as Cancel
// when it has one, else as the last button (No, OK). An answer naming a button the box does
// not show counts the same way.
// The box belongs to DialogOwner(owner).
int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  uint32_t flags);

}  // namespace vd::ui
