#include "corvex/ui/dlg_shapefile_output.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/ui/dialog_templates.h"

namespace {

using D = CDlgShapefileOutput;

struct KindRadio {
  int id;
  const char* text;
  ShapeExportKind kind;
};
// In the order of the mask's bits.
constexpr KindRadio kRadios[] = {{D::kMarksRadio, "Marks (Points)", kShapeFreeMarks},
                                 {D::kRoutesRadio, "Routes (Arcs)", kShapeOpenRoutes},
                                 {D::kTracksRadio, "Tracks (Arcs)", kShapeOpenTracks},
                                 {D::kClosedRoutesRadio, "Closed Routes (Polygon)", kShapeClosedRoutes},
                                 {D::kClosedTracksRadio, "Closed Tracks (Polygon)", kShapeClosedTracks}};

void BuildShapefileOutputDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Shapefile Export");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("A shapefile holds one type of object. Export:"));
  for (const KindRadio& radio : kRadios)
    layout->addWidget(d.AddControl(radio.id, new QRadioButton(radio.text)));
  auto* note = new QLabel(
      "A route is exported as a polygon when its last waypoint is the same as its first; a "
      "track when its \"Closed loop\" property is set.");
  note->setWordWrap(true);
  layout->addWidget(note);
  vd::ui::AddButtonRow(d, layout,
                       {{vd::ui::kIdOk, "OK"}, {vd::ui::kIdCancel, "Cancel"}, {vd::ui::kIdHelp, "Help"}},
                       vd::ui::kIdOk);
}

}  // namespace

void CDlgShapefileOutput::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildShapefileOutputDialog);
}

CDlgShapefileOutput::CDlgShapefileOutput(int kinds_present, QWidget* parent)
    : CDialogF1Help(kTemplate, parent), kinds_present_(kinds_present) {
  RegisterTemplate();
}

bool CDlgShapefileOutput::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  bool chosen = false;
  for (const KindRadio& radio : kRadios) {
    const bool present = (kinds_present_ & ShapeKindBit(radio.kind)) != 0;
    window->EnableItem(radio.id, present);
    if (present && !chosen) chosen = window->SetCheckState(radio.id, 1);
  }
  return true;
}

void CDlgShapefileOutput::OnOK() {
  kind_.reset();
  for (const KindRadio& radio : kRadios) {
    if (GetItem(radio.id)->isEnabled() && dialog_window()->CheckState(radio.id) == 1)
      kind_ = radio.kind;
  }
  CDialogF1Help::OnOK();
}

ShapeKindChooser MakeShapeKindChooser(QWidget* parent) {
  return [parent](int kinds_present) -> std::optional<ShapeExportKind> {
    CDlgShapefileOutput dialog(kinds_present, parent);
    if (dialog.DoModal() != vd::ui::kIdOk) return std::nullopt;
    return dialog.kind();
  };
}
