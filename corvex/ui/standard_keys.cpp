#include "corvex/ui/standard_keys.h"

#include "corvex/command_ids.h"
#include "corvex/ostrel_view.h"

namespace {

constexpr int kCmdExit = 57665;
constexpr int kCmdHelpTopics = 32878;

}  // namespace

std::optional<QKeySequence::StandardKey> StandardKeyOfCommand(int id) {
  switch (id) {
    case kCmdUndo: return QKeySequence::Undo;
    case kCmdRedo: return QKeySequence::Redo;
    case kCmdDelete: return QKeySequence::Delete;
    case kCmdImport: return QKeySequence::Open;
    case kCmdSaveOverlays: return QKeySequence::Save;
    case kCmdSaveOverlaysAs: return QKeySequence::SaveAs;
    case COstrelView::kCmdFilePrint: return QKeySequence::Print;
    case kCmdExit: return QKeySequence::Quit;
    case kCmdFindPlace: return QKeySequence::Find;
    // The view's own zoom has no command: the desktop's zoom keys take the chart of the next
    // scale, as the view's I and O keys do.
    case COstrelView::kCmdScaleIn: return QKeySequence::ZoomIn;
    case COstrelView::kCmdScaleOut: return QKeySequence::ZoomOut;
    case COstrelView::kCmdBack: return QKeySequence::Back;
    case COstrelView::kCmdForward: return QKeySequence::Forward;
    case kCmdHelpTopics: return QKeySequence::HelpContents;
    default: return std::nullopt;
  }
}
