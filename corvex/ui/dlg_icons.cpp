#include "corvex/ui/dlg_icons.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/message_boxes.h"
#include "corvex/ui/dialog_controls.h"
#include "overlays/icon_library.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/message_box.h"

namespace {

using D = CDlgIcons;

void BuildIconsDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Waypoint/Mark Icons");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(d.AddControl(D::kIconCombo, new CIconCombo));
  auto* row = new QHBoxLayout;
  row->addWidget(d.AddControl(D::kAddButton, new QPushButton("Add...")));
  row->addWidget(d.AddControl(D::kRemoveButton, new QPushButton("Remove")));
  row->addStretch();
  row->addWidget(d.AddControl(D::kCloseButton, new QPushButton("Close")));
  layout->addLayout(row);
}

}  // namespace

void CDlgIcons::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildIconsDialog);
}

CDlgIcons::CDlgIcons(QWidget* parent, ObjectList& objects, float scale)
    : CDialogF1Help(kTemplate, parent), objects_(objects), scale_(scale) {
  RegisterTemplate();
}

bool CDlgIcons::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  FillList();
  return true;
}

void CDlgIcons::FillList() {
  auto* combo = dynamic_cast<CIconCombo*>(GetItem(kIconCombo));
  if (!combo) return;
  combo->ClearItems();
  CIconLibrary& library = CIconLibrary::Get();
  library.EnsureLoaded();
  for (int slot = 0; slot < CIconLibrary::kSlotCount; ++slot) {
    const CIconLibraryEntry* entry = library.Entry(slot);
    if (!entry || (slot > 0 && entry->number == 0) || !entry->image) continue;
    combo->AddItem(entry->image, entry->hot_spot_x, entry->hot_spot_y, entry->name,
                   entry->number);
  }
  if (combo->count() > 0) combo->setCurrentIndex(0);
}

void CDlgIcons::OnCommand(int id, QWidget* control, int code) {
  CIconLibrary& library = CIconLibrary::Get();
  auto* combo = dynamic_cast<CIconCombo*>(GetItem(kIconCombo));
  switch (id) {
    case kAddButton: {
      const std::optional<std::string> path =
          vd::ui::GetOpenFilePath(dialog_window(), "Add Icon", kFilter);
      if (!path) return;
      if (!library.LoadIconFile(*path)) {
        FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s",
                         "The file is not an image that can be an icon.");
        return;
      }
      FillList();
      return;
    }
    case kRemoveButton: {
      if (!combo || combo->currentIndex() < 0) return;
      const int number = combo->GetKey(combo->currentIndex());
      if (!library.DeleteIcon(number, objects_)) return;
      RefreshAllOverlayViews();
      FillList();
      return;
    }
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}
