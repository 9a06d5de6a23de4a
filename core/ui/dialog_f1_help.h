#pragma once
// The base of the main program's dialogs: F1, the title bar's help command and a help button
// (command kIdHelp) open the dialog's help page (vd::ui::OpenHelpTopic).
#include <functional>
#include <string>

#include "core/ui/dialog_base.h"

class CDialogF1Help : public DialogBase {
 public:
  // For dialogs that set their template later.
  CDialogF1Help() = default;
  CDialogF1Help(int template_id, QWidget* parent) : DialogBase(template_id), parent_(parent) {}

  using DialogBase::DoModal;
  // Runs over the parent given at construction.
  int DoModal() { return DoModal(parent_); }

  // Every derived dialog calls it.
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Opens the page of HelpTopic(); true.
  virtual bool OnHelpInfo();
  // The dialog's help topic: ContextTopic(template id) unless overridden.
  virtual std::string HelpTopic() const;

  // The help topic of a help context (a dialog's template id): "dialog_" and the id.
  static std::string ContextTopic(int context_id);
  // The program's help shows what F1 and the Help buttons ask for (the application's
  // ShowHelpContext); without one the topic's page opens directly. An empty handler restores
  // that.
  using HelpContextHandler = std::function<void(const std::string& topic)>;
  static void SetHelpContextHandler(HelpContextHandler handler);

  intptr_t WndProc(uint32_t msg, uintptr_t w, intptr_t l) override;

 private:
  QWidget* parent_ = nullptr;
};
