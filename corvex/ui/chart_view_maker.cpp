#include "corvex/ui/chart_view_maker.h"

#include "corvex/ostrel_doc.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"

namespace {

// The program's main window, null before it exists and after it has gone.
CMainFrame* MainFrame() {
  COstrelApp* app = COstrelApp::Instance();
  return app ? app->GetMainFrame() : nullptr;
}

}  // namespace

std::pair<QWidget*, CDocView*> MakeChartViewWidget(COstrelDoc& document) {
  auto* widget = new CChartViewWidget(document);
  COstrelView* view = widget->view();
  CChartViewWidget::Hooks hooks;
  hooks.status_text = [](const std::string& text) {
    if (CMainFrame* frame = MainFrame()) frame->SetStatusText(text);
  };
  hooks.readout_text = [](const std::string& text) {
    if (CMainFrame* frame = MainFrame()) frame->SetReadoutText(text);
  };
  hooks.run_command = [](int id) {
    if (CMainFrame* frame = MainFrame()) frame->RouteCommand(id);
  };
  hooks.view_destroying = [&document, widget](COstrelView* dying) {
    document.RemoveView(dying);
    if (auto* frame = dynamic_cast<CChildFrame*>(widget->parentWidget())) frame->DetachView();
  };
  widget->SetHooks(std::move(hooks));
  document.AddView(view);
  return {widget, view};
}
