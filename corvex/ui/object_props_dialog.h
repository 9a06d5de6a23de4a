#pragma once
// The base of the overlay objects' property windows. A window edits its object live: every
// control writes its field at once and sends the object's change notification, so the views
// and panes follow while the user types. There is no transaction to undo: "OK" and "Cancel"
// (Escape, the close button) both close the window and the edits stay, so nothing another
// window, the chart or the GPS changed meanwhile is overwritten. Enter closes nothing.
//
// The window is modeless and shows at once when a parent is given; without one it is only
// constructed (the route card uses that). The dialog does not own its object: its owner
// deletes the dialog before the object goes.
//
//   auto dialog = CreateObjectPropsDialog(object, frame);   // props_dialog_factory.h
//   dialog->SetClosedHandler([this] { /* delete the dialog later */ });
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/ui/dialog_f1_help.h"

class COstrelObject;
class CAppCommon;
class QBoxLayout;
namespace vd::ui {
class DialogWindow;
}

class CObjectPropsDialog : public CDialogF1Help {
 public:
  // The buttons every property window has besides Cancel (vd::ui::kIdCancel).
  static constexpr int kKeepButton = 990;  // "OK"

  // While one lives, the windows made show without taking the activation (a window opened
  // for what the user selects in a list leaves the keyboard to that list).
  class ShowInactive {
   public:
    ShowInactive() { ++inactive_; }
    ~ShowInactive() { --inactive_; }
    ShowInactive(const ShowInactive&) = delete;
    ShowInactive& operator=(const ShowInactive&) = delete;
  };

  CObjectPropsDialog(COstrelObject* object, int template_id, QWidget* parent);
  // Destroys the window.
  ~CObjectPropsDialog() override;

  COstrelObject* object() const { return object_; }

  // Reloads every control from the object; controls holding the focus keep what is typed.
  virtual void Refresh() {}
  // Refresh with the control notifications it causes held back (what the owner calls when the
  // object changed by other means).
  void RefreshQuietly();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;
  // Enter does not close the window.
  void OnOK() override {}
  // Closes; the edits made stay in the object.
  void OnCancel() override;

  // Runs from the event loop after the window closed by OK or Cancel, so the owner may delete
  // the dialog there.
  void SetClosedHandler(std::function<void()> handler) { closed_handler_ = std::move(handler); }
  bool closed() const { return closed_; }

 protected:
  // The derived dialog's own commands; they are not delivered while Refresh fills controls.
  virtual void OnControl(int /*id*/, int /*code*/) {}
  // Builds the window from the template and shows it (the constructors of the derived classes
  // call it last, once their members are ready).
  void CreateWindow();

  // A control by id as its class; null when missing or of another class.
  template <class T>
  T* Item(int id) const {
    return dynamic_cast<T*>(GetItem(id));
  }
  // Control helpers; every one is a no-op while the window does not exist.
  bool HasFocus(int id) const;
  // Writes the text unless the control holds the focus.
  void ShowText(int id, const std::string& text);
  void ShowCheck(int id, bool checked);
  bool IsChecked(int id) const;
  void Enable(int id, bool enable);
  int ComboIndex(int id) const;
  void SelectCombo(int id, int index);
  // The application object's formatting, or empty text when there is none.
  static CAppCommon* App();

 private:
  void Close(int result);

  static inline int inactive_ = 0;

  COstrelObject* object_;
  QWidget* parent_;
  std::function<void()> closed_handler_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  bool refreshing_ = false;
  bool closed_ = false;
};

// Whole-number fields: a decimal integer after optional blanks, stopping at the first
// character that does not belong ("010" is ten, "12 s" is twelve); nothing when no digit starts
// the text or the value does not fit.
std::optional<int32_t> ParseDecimalInt(const std::string& text);
// A number in the C locale after optional blanks; nothing when none starts the text or it is
// not finite.
std::optional<double> ParseNumber(const std::string& text);

// For template builders: the "OK" and "Cancel" buttons at the foot of a property window.
void AddPropsButtons(vd::ui::DialogWindow& dialog, QBoxLayout* layout);

// Writes an integer to the settings section of the profile.
void WriteSettingInt(const char* section, const char* name, int32_t value);
