#pragma once
// A dialog built from a template (dialog_templates.h): a QDialog whose controls carry ids and
// whose events reach its window procedure as messages.
//
// Besides the messages of every NativeWindow, a control's action sends kWmCommand with the
// control's id in the low word of wParam, the notification code in the high word and the
// control in lParam: a button click kBnClicked, a text change kEnChange, a choice in a combo
// box or list kCbnSelChange, a double click in a list kLbnDblClk. Escape and the close button
// send the command kIdCancel; Enter sends the command of the focused push button, else of the
// default button, else kIdOk. F1 sends kWmHelp. Nothing closes the dialog but End.
#include <QDialog>
#include <QPointer>
#include <map>
#include <string>

#include "platform/ui/native_window.h"

namespace vd::ui {

class DialogWindow : public QDialog, public NativeWindow {
 public:
  explicit DialogWindow(QWidget* parent = nullptr);
  ~DialogWindow() override;

  // For template builders: gives the control its id and wires its notifications. Returns the
  // control for use in a layout.
  template <class Control>
  Control* AddControl(int id, Control* control) {
    RegisterControl(id, control);
    return control;
  }

  // Null when no control has the id.
  QWidget* Control(int id) const;
  template <class T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }

  // A control's text: an edit's contents, a label's or button's text, a combo box's current
  // text, a group box's title. Empty for a missing control.
  std::string ItemText(int id) const;
  // False when the control does not exist or has no text to set.
  bool SetItemText(int id, const std::string& text);
  // 0 unchecked, 1 checked, 2 indeterminate; -1 when the control is not a check box or radio
  // button.
  int CheckState(int id) const;
  bool SetCheckState(int id, int state);
  bool EnableItem(int id, bool enable);
  // The button Enter presses; 0 when there is none.
  int DefaultButton() const { return default_button_; }
  // Moves the default style to this push button; false when no control has the id.
  bool SetDefaultButton(int id);

  // Runs the dialog modally and returns the value given to End. When End came before (from
  // kWmInitDialog, say), returns at once without showing the dialog.
  int RunModal();
  // Ends a modal run with result; a modeless dialog is hidden.
  void End(int result);
  bool ended() const { return ended_; }

  // kWmClose asks for Cancel, as the close button does.
  intptr_t DefaultProc(const Message& message) override;

  // Sends the command as a control would.
  void SendCommand(int id, int code);

  // Escape and the close button.
  void reject() override;
  // Some stock widgets accept their dialog; that counts as OK.
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool TranslateEvent(QEvent* event) override;

 private:
  void RegisterControl(int id, QWidget* control);

  std::map<int, QPointer<QWidget>> controls_;
  int default_button_ = 0;
  int result_ = 0;
  bool ended_ = false;
};

}  // namespace vd::ui
