// Fuzz target: configuration documents (".vdn") read into the program's document: a
// malformed file must end with the archive reader's exception and leave the document whole.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "corvex/ostrel_doc.h"
#include "fuzz/fuzz_support.h"
#include "overlays/overlay_archive.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

// Every question answered at once, without a window.
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  static QuietResponder responder;
  static vd::ui::ScopedResponder scope(&responder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  COstrelDoc document;
  COverlayArchive archive(std::span<const uint8_t>(data, size));
  try {
    document.Serialize(archive);
  } catch (const COverlayArchiveException&) {
  }
  return 0;
}
