#pragma once
// Every question a reader might ask answered at once, without a window: the fuzz targets run
// without an application object, where a real dialog would end the process. For the targets
// whose readers may show a message box (those linking the user-interface layer).
#include <optional>
#include <string>

#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace vd::fuzz {

struct QuietResponder : vd::ui::Responder {
  int MessageBox(const vd::ui::MessageBoxRequest&) override { return vd::ui::kIdOk; }
  int TrackPopupMenu(const vd::ui::PopupMenu&, QWidget*, QPoint) override { return 0; }
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<std::string> ChooseFolder(QWidget*, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  std::optional<vd::ui::ColourRef> ChooseColor(QWidget*, vd::ui::ColourRef) override {
    return std::nullopt;
  }
  std::optional<vd::ui::Font> ChooseFont(QWidget*, const vd::ui::Font&) override {
    return std::nullopt;
  }
};

// Installs the quiet responder for the rest of the process; call from LLVMFuzzerInitialize.
inline void AnswerQuietly() {
  static QuietResponder responder;
  static vd::ui::ScopedResponder scope(&responder);
}

}  // namespace vd::fuzz
