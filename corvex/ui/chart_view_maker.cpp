#include "corvex/ui/chart_view_maker.h"

#include "corvex/ostrel_doc.h"
#include "corvex/ui/chart_view_widget.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"

std::pair<QWidget*, CDocView*> MakeChartViewWidget(COstrelDoc& document) {
  auto* widget = new CChartViewWidget(document);
  COstrelView* view = widget->view();
  CChartViewWidget::Hooks hooks;
  hooks.status_text = [](const std::string& text) {
    if (COstrelApp* app = COstrelApp::Instance(); app && app->GetMainFrame())
      app->GetMainFrame()->SetStatusText(text);
  };
  hooks.readout_text = [](const std::string& text) {
    if (COstrelApp* app = COstrelApp::Instance(); app && app->GetMainFrame())
      app->GetMainFrame()->SetReadoutText(text);
  };
  hooks.run_command = [](int id) {
    if (COstrelApp* app = COstrelApp::Instance(); app && app->GetMainFrame())
      app->GetMainFrame()->RouteCommand(id);
  };
  hooks.view_destroying = [&document, widget](COstrelView* dying) {
    document.RemoveView(dying);
    if (auto* frame = dynamic_cast<CChildFrame*>(widget->parentWidget())) frame->DetachView();
  };
  widget->SetHooks(std::move(hooks));
  document.AddView(view);
  return {widget, view};
}
