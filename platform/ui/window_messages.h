#pragma once
// The message numbers, key codes and flag values that windows and dialogs exchange. The values
// are the ones the programs' window procedures were written against, so that code reading
// wParam/lParam keeps its meaning: a mouse message carries the button and modifier flags in
// wParam and the signed client position in lParam (x low word, y high word); a command carries
// the control id in the low word of wParam, the notification code in the high word and the
// control in lParam.
#include <cstdint>

#include "platform/os/message_queue.h"

namespace vd::ui {

using vd::os::Message;

// Messages.
constexpr uint32_t kWmCreate = 0x0001;
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmSize = 0x0005;  // wParam 0, lParam = width | height << 16
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmNotify = 0x004E;  // wParam = control id, lParam = NotifyHeader*
constexpr uint32_t kWmHelp = 0x0053;
constexpr uint32_t kWmNcDestroy = 0x0082;
constexpr uint32_t kWmKeyDown = 0x0100;  // wParam = virtual key, lParam bits 0-15 repeat count
constexpr uint32_t kWmKeyUp = 0x0101;
constexpr uint32_t kWmChar = 0x0102;  // wParam = the character's Unicode code point
constexpr uint32_t kWmInitDialog = 0x0110;  // wParam = focus control (QWidget*), lParam = param
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmSysCommand = 0x0112;  // wParam = kScContextHelp, ...
constexpr uint32_t kWmTimer = 0x0113;  // wParam = timer id
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmLButtonUp = 0x0202;
constexpr uint32_t kWmLButtonDblClk = 0x0203;
constexpr uint32_t kWmRButtonDown = 0x0204;
constexpr uint32_t kWmRButtonUp = 0x0205;
constexpr uint32_t kWmRButtonDblClk = 0x0206;
constexpr uint32_t kWmMButtonDown = 0x0207;
constexpr uint32_t kWmMButtonUp = 0x0208;
constexpr uint32_t kWmMButtonDblClk = 0x0209;
// wParam = key flags | signed delta (120 per notch) << 16; lParam = screen position.
constexpr uint32_t kWmMouseWheel = 0x020A;
constexpr uint32_t kWmCaptureChanged = 0x0215;
constexpr uint32_t kWmMoving = 0x0216;  // the user drags the window
constexpr uint32_t kWmUser = vd::os::kUserMessage;

// System commands.
constexpr uintptr_t kScClose = 0xF060;
constexpr uintptr_t kScContextHelp = 0xF180;

// Key flags of mouse messages (wParam).
constexpr uintptr_t kMkLButton = 0x0001;
constexpr uintptr_t kMkRButton = 0x0002;
constexpr uintptr_t kMkShift = 0x0004;
constexpr uintptr_t kMkControl = 0x0008;
constexpr uintptr_t kMkMButton = 0x0010;

// Virtual keys (wParam of key messages). Letters and digits are their upper-case ASCII codes.
constexpr int kVkBack = 0x08;
constexpr int kVkTab = 0x09;
constexpr int kVkClear = 0x0C;
constexpr int kVkReturn = 0x0D;
constexpr int kVkShift = 0x10;
constexpr int kVkControl = 0x11;
constexpr int kVkMenu = 0x12;  // Alt
constexpr int kVkEscape = 0x1B;
constexpr int kVkSpace = 0x20;
constexpr int kVkPrior = 0x21;  // Page Up
constexpr int kVkNext = 0x22;   // Page Down
constexpr int kVkEnd = 0x23;
constexpr int kVkHome = 0x24;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;
constexpr int kVkInsert = 0x2D;
constexpr int kVkDelete = 0x2E;
constexpr int kVkAdd = 0x6B;
constexpr int kVkSubtract = 0x6D;
constexpr int kVkOemPlus = 0xBB;   // the main keyboard's "=+" key
constexpr int kVkOemMinus = 0xBD;  // the main keyboard's "-_" key
constexpr int kVkF1 = 0x70;  // F2..F12 follow

// Dialog command ids (and message-box answers).
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kIdHelp = 9;

// Notification codes of kWmCommand (high word of wParam).
constexpr int kBnClicked = 0;
constexpr int kCbnSelChange = 1;  // also a list's selection change
constexpr int kLbnDblClk = 2;
constexpr int kEnChange = 0x0300;

// What a kWmNotify message points to.
class NativeWindow;
struct NotifyHeader {
  NativeWindow* from = nullptr;
  uintptr_t id = 0;
  int code = 0;
};

constexpr uint16_t LowWord(uintptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
constexpr uint16_t HighWord(uintptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
// Two 16-bit halves, as positions and sizes travel in lParam.
constexpr intptr_t MakeLParam(int low, int high) {
  return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16));
}
constexpr uintptr_t MakeWParam(int low, int high) {
  return static_cast<uintptr_t>(static_cast<uint32_t>(MakeLParam(low, high)));
}
// The signed coordinates of a mouse message's lParam.
constexpr int XFromLParam(intptr_t l) { return static_cast<int16_t>(LowWord(static_cast<uintptr_t>(l))); }
constexpr int YFromLParam(intptr_t l) { return static_cast<int16_t>(HighWord(static_cast<uintptr_t>(l))); }
// The signed wheel delta of a kWmMouseWheel wParam.
constexpr int WheelDeltaFromWParam(uintptr_t w) { return static_cast<int16_t>(HighWord(w)); }

}  // namespace vd::ui
