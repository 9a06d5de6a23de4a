#pragma once
// A dialog of the caller's template that shows one text and tells which command closed it. OK
// and Cancel buttons close it as usual; a menu or accelerator command (one without a control)
// closes it with its own id.
#include <string>

#include "core/ui/dialog.h"

class CDlgButtons : public Dialog {
 public:
  explicit CDlgButtons(int template_id) : Dialog(template_id) {}

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;

  std::string text;
  int text_control = 0;  // 0: the template has no text control
  int result = 0;        // the command that closed the dialog; 0 when OK or Cancel did
};

// Runs a CDlgButtons of the template modally and returns the id of the command that closed it
// (1 OK, 2 Cancel, or the menu or accelerator command); -1 when the template is unknown.
int ShowButtonDialog(int template_id, QWidget* parent, const std::string& text,
                     int text_control);
