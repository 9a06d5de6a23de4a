#pragma once
// A message box with one to four option buttons, each with its own callback:
//
//   MessageBoxN(parent, this, "Route", "Delete the route?",
//               {{"Delete", &OnDelete}, {"Keep", nullptr}});
//
// Options sit on the last buttons of the row (one option: the rightmost), the first of them the
// default. Pressing option k calls its callback with (context, k) and closes; an option without
// a callback, and Escape, close without a call.
#include <string>
#include <vector>

#include "core/ui/dialog.h"

using DialogOptionCallback = void (*)(void* context, int option);

struct DialogOption {
  std::string text;
  DialogOptionCallback callback = nullptr;
};

class CDlgOptions : public Dialog {
 public:
  static constexpr int kTemplate = 299;
  static constexpr int kTextControl = 1001;
  // The row of option buttons, left to right.
  static constexpr int kButtons[] = {4, 1404, 1403, 3};
  static constexpr int kMaxOptions = 4;

  CDlgOptions();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;

  void* context = nullptr;  // handed to the callbacks, not owned
  std::string title;
  std::string text;
  std::vector<std::string> option_texts;
  std::vector<DialogOptionCallback> callbacks;

 private:
  // The number of buttons shown: the options, 1 to 4.
  int ButtonCount() const;
};

// Runs a CDlgOptions modally over parent; options beyond the fourth are left out. Returns the
// dialog's result (1 after an option, 2 after Escape).
int MessageBoxN(QWidget* parent, void* context, const std::string& title, const std::string& text,
                const std::vector<DialogOption>& options);
