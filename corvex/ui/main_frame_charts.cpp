// The main frame's dialogs for the chart view's chart commands: the map list over the maps at
// the cursor, merging, saving a map area, chart properties, calibration, and the progress of
// long chart-file work.
#include <memory>

#include "overlays/outline/old_chart_outline.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/dlg_edit_qct.h"
#include "corvex/ui/dlg_georeferencing.h"
#include "corvex/ui/dlg_merge_chart.h"
#include "corvex/ui/dlg_send_chart_to.h"
#include "corvex/ui/main_frame.h"
#include "platform/ui/message_box.h"

bool CMainFrame::ChooseMapFrom(const std::vector<COldChartOutline*>& outlines, std::string& path,
                               bool& new_window) {
  COstrelDoc* document = Document();
  if (!document) return false;
  ObjectList list(outlines.begin(), outlines.end());
  CDlgChartSelect dialog(*document, &list, this);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  path = dialog.chosen_path();
  new_window = dialog.open_in_new_window();
  return true;
}

bool CMainFrame::AskMergeChart(std::string& name, bool& antialias, std::string& output) {
  CDlgMergeChart dialog(this);
  dialog.set_name(name);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  name = dialog.name();
  antialias = dialog.antialias();
  output = dialog.output_path();
  return true;
}

bool CMainFrame::AskSaveChartTo(double bytes, std::string& description, std::string& folder) {
  CDlgSendChartTo dialog(bytes, description, this);
  if (dialog.DoModal() != vd::ui::kIdOk) return false;
  description = dialog.description();
  folder = dialog.folder();
  return true;
}

bool CMainFrame::EditChartProperties(COldChartOutline& outline) {
  if (!CDlgEditQCT::PrepareFile(outline.chart_path)) return false;
  CDlgEditQCT editor(outline, this);
  return editor.DoModal() == vd::ui::kIdOk;
}

void CMainFrame::OpenCalibration(COstrelView& view) {
  // One dialog a view: a second Calibration brings it forward.
  if (auto* open = dynamic_cast<CDlgGeoreferencing*>(view.calibration())) {
    open->raise();
    open->activateWindow();
    return;
  }
  auto* dialog = new CDlgGeoreferencing(view, this);
  dialog->show();
}

ChartFileTask CMainFrame::ChartTask() {
  ChartFileTask task;
  task.show_error = [](const std::string& text) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", text.c_str());
  };
  task.confirm = [](const std::string& text) {
    return FormatMessageBox(vd::ui::kMbOkCancel | vd::ui::kMbIconWarning, "%s", text.c_str()) ==
           vd::ui::kIdOk;
  };
  // The window lasts while the task (or a copy of it) does, or until the next piece of work.
  auto progress = std::make_shared<std::unique_ptr<CProgress>>();
  task.progress = [this, progress](const std::string& text, int done, int total) {
    if (done == 0 || !*progress) *progress = std::make_unique<CProgress>(text, total, this);
    return (*progress)->SetPos(done);
  };
  return task;
}
