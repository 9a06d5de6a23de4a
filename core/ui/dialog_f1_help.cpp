#include "core/ui/dialog_f1_help.h"

#include "platform/ui/help_pages.h"

bool CDialogF1Help::OnInitDialog(QWidget* focus, intptr_t param) {
  DialogBase::OnInitDialog(focus, param);
  return true;
}

namespace {

CDialogF1Help::HelpContextHandler& Handler() {
  static CDialogF1Help::HelpContextHandler handler;
  return handler;
}

}  // namespace

void CDialogF1Help::SetHelpContextHandler(HelpContextHandler handler) {
  Handler() = std::move(handler);
}

bool CDialogF1Help::OnHelpInfo() {
  const std::string topic = HelpTopic();
  if (Handler()) {
    Handler()(topic);
  } else {
    vd::ui::OpenHelpTopic(topic);
  }
  return true;
}

std::string CDialogF1Help::ContextTopic(int context_id) {
  return "dialog_" + std::to_string(context_id);
}

std::string CDialogF1Help::HelpTopic() const { return ContextTopic(template_id()); }

intptr_t CDialogF1Help::WndProc(uint32_t msg, uintptr_t w, intptr_t l) {
  const bool help = msg == vd::ui::kWmHelp ||
                    (msg == vd::ui::kWmSysCommand && (w & 0xFFF0) == vd::ui::kScContextHelp) ||
                    (msg == vd::ui::kWmCommand && vd::ui::LowWord(w) == vd::ui::kIdHelp);
  if (help) return OnHelpInfo() ? 1 : 0;
  return DialogBase::WndProc(msg, w, l);
}
