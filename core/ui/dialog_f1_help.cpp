#include "core/ui/dialog_f1_help.h"

#include "platform/ui/help_pages.h"

bool CDialogF1Help::OnInitDialog(QWidget* focus, intptr_t param) {
  DialogBase::OnInitDialog(focus, param);
  return true;
}

bool CDialogF1Help::OnHelpInfo() {
  vd::ui::OpenHelpTopic(HelpTopic());
  return true;
}

std::string CDialogF1Help::HelpTopic() const { return "dialog_" + std::to_string(template_id()); }

intptr_t CDialogF1Help::WndProc(uint32_t msg, uintptr_t w, intptr_t l) {
  const bool help = msg == vd::ui::kWmHelp ||
                    (msg == vd::ui::kWmSysCommand && (w & 0xFFF0) == vd::ui::kScContextHelp) ||
                    (msg == vd::ui::kWmCommand && vd::ui::LowWord(w) == vd::ui::kIdHelp);
  if (help) return OnHelpInfo() ? 1 : 0;
  return DialogBase::WndProc(msg, w, l);
}
