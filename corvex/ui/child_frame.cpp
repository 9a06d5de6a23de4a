#include "corvex/ui/child_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <vector>

#include "corvex/chart_view_link.h"
#include "corvex/ostrel_doc.h"
#include "platform/ui/help_pages.h"

namespace {

std::vector<CChildFrame*>& Frames() {
  static std::vector<CChildFrame*> frames;
  return frames;
}

}  // namespace

CChildFrame::CChildFrame(QWidget* content, CDocView* view, COstrelDoc* document)
    : view_(view), document_(document) {
  setWidget(content);
  setAttribute(Qt::WA_DeleteOnClose);
  Frames().push_back(this);
  UpdateFrameTitle();
  UpdateCloseEntries();
}

CChildFrame::~CChildFrame() {
  auto& frames = Frames();
  std::erase(frames, this);
  if (frames.size() == 1) {
    // One chart window left: linked views make no sense any more, and the remaining frame is
    // shown maximised again if it was so the area lays itself out anew.
    if (document_) document_->set_sync_views(false);
    CChildFrame* last = frames.front();
    if (last->isMaximized()) {
      last->showMinimized();
      last->showMaximized();
    }
  }
  UpdateCloseEntries();
}

int CChildFrame::Count() { return static_cast<int>(Frames().size()); }

void CChildFrame::UpdateFrameTitle() {
  if (!view_) return;
  const QString title = QString::fromStdString(view_->GetChartPath());
  if (windowTitle() != title) setWindowTitle(title);
}

bool CChildFrame::OnCommand(int id) {
  if (id != kCmdHelpManual) return false;
  vd::ui::OpenHelpTopic(vd::ui::kHelpIndexTopic);
  return true;
}

bool CChildFrame::OnUpdateCommand(int id, CCmdUI& ui) {
  if (id != kCmdHelpManual) return false;
  ui.enabled = true;
  return true;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
  // The last chart window stays.
  if (Count() <= 1) {
    event->ignore();
    return;
  }
  // The frame goes with its view; the view's window is not asked (it would take the close
  // for its own and stay).
  event->accept();
}

void CChildFrame::UpdateCloseEntries() {
  const bool can_close = Count() > 1;
  for (CChildFrame* frame : Frames()) {
    if (QMenu* menu = frame->systemMenu()) {
      for (QAction* action : menu->actions())
        if (action->shortcut() == QKeySequence::Close || action->text().contains("Close"))
          action->setEnabled(can_close);
    }
  }
}
