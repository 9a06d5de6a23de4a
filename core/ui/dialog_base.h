#pragma once
// A dialog built from a dialog template (see platform/ui/dialog_templates.h), run modally, with
// its controls reached by id. The dialog procedure (WndProc) sends kWmInitDialog to
// OnInitDialog, kWmCommand to OnCommand and kWmNotify to OnNotify; every other message goes to
// the window handlers of Window and then to OnMessage.
//
// Dialog adds the deferred completion callbacks; CDialogF1Help adds context help.
#include <cstdint>
#include <string>

#include "core/ui/window.h"

namespace vd::ui {
class DialogWindow;
}

class DialogBase : public Window {
 public:
  explicit DialogBase(int template_id = 0) : template_id_(template_id) {}

  int template_id() const { return template_id_; }
  // For dialogs that learn their template after construction.
  void SetTemplateId(int template_id) { template_id_ = template_id; }

  // Builds the dialog from its template, runs it modally over parent (may be null) and
  // returns the value given to EndDialog. -1 when the template is unknown; last_error() then
  // tells why.
  virtual int DoModal(QWidget* parent);
  // Ends a modal run with result (also from OnInitDialog, before the dialog shows).
  void EndDialog(int result);
  // The platform error of the last failed DoModal.
  uint32_t last_error() const { return last_error_; }

  // Control access by id; null or empty when the control does not exist.
  vd::ui::DialogWindow* dialog_window() const;
  QWidget* GetItem(int id) const;
  std::string GetItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  // Makes the button the one Enter presses; false when the control does not exist.
  bool SetDefaultButton(int id);

  // Default true: focus goes to the first control.
  virtual bool OnInitDialog(QWidget* /*focus*/, intptr_t /*param*/) { return true; }
  // Default EndDialog(1).
  virtual void OnOK();
  // Default EndDialog(2).
  virtual void OnCancel();
  // Every message without a handler of its own; default 0.
  virtual intptr_t OnMessage(uint32_t /*msg*/, uintptr_t /*w*/, intptr_t /*l*/) { return 0; }
  // Default: command 1 (OK) -> OnOK, 2 (Cancel) -> OnCancel.
  void OnCommand(int id, QWidget* control, int code) override;
  // Default nothing.
  intptr_t OnNotify(int id, vd::ui::NotifyHeader* header) override;
  intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l) override;

 private:
  int template_id_;
  uint32_t last_error_ = 0;
};
