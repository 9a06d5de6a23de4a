#include "corvex/ui/object_props_dialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QPushButton>
#include <QCoreApplication>
#include <cmath>

#include "app/app_common.h"
#include "core/persistent_value.h"
#include "overlays/ostrel_object.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"

CObjectPropsDialog::CObjectPropsDialog(COstrelObject* object, int template_id, QWidget* parent)
    : CDialogF1Help(template_id, parent), object_(object), parent_(parent) {}

CObjectPropsDialog::~CObjectPropsDialog() { DestroyWindow(); }

void CObjectPropsDialog::CreateWindow() {
  if (!parent_ || handle()) return;
  vd::ui::DialogWindow* dialog = vd::ui::CreateDialogFromTemplate(template_id(), parent_);
  if (!dialog) return;
  dialog->setWindowFlag(Qt::Window);
  Attach(dialog);
  dialog->Deliver(vd::ui::kWmInitDialog, 0, 0);
  if (inactive_ > 0) dialog->setAttribute(Qt::WA_ShowWithoutActivating);
  dialog->show();
  dialog->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

bool CObjectPropsDialog::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  RefreshQuietly();
  return true;
}

void CObjectPropsDialog::RefreshQuietly() {
  const bool was = refreshing_;
  refreshing_ = true;
  Refresh();
  refreshing_ = was;
}

void CObjectPropsDialog::OnCommand(int id, QWidget* control, int code) {
  if (id == kKeepButton) {
    Close(1);
    return;
  }
  if (id == vd::ui::kIdOk || id == vd::ui::kIdCancel || id == vd::ui::kIdHelp) {
    CDialogF1Help::OnCommand(id, control, code);
    return;
  }
  if (!refreshing_) OnControl(id, code);
}

void CObjectPropsDialog::OnCancel() { Close(2); }

void CObjectPropsDialog::Close(int result) {
  if (vd::ui::DialogWindow* window = dialog_window()) window->End(result);
  closed_ = true;
  if (!closed_handler_) return;
  // The owner may delete this dialog: never inside its own handler.
  std::weak_ptr<int> alive = alive_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [alive, handler = closed_handler_] {
        if (alive.lock()) handler();
      },
      Qt::QueuedConnection);
}

bool CObjectPropsDialog::HasFocus(int id) const {
  QWidget* control = GetItem(id);
  return control && control->hasFocus();
}

void CObjectPropsDialog::ShowText(int id, const std::string& text) {
  if (HasFocus(id) || GetItemText(id) == text) return;
  SetItemText(id, text);
}

void CObjectPropsDialog::ShowCheck(int id, bool checked) {
  if (vd::ui::DialogWindow* window = dialog_window()) window->SetCheckState(id, checked ? 1 : 0);
}

bool CObjectPropsDialog::IsChecked(int id) const {
  vd::ui::DialogWindow* window = dialog_window();
  return window && window->CheckState(id) == 1;
}

void CObjectPropsDialog::Enable(int id, bool enable) {
  if (vd::ui::DialogWindow* window = dialog_window()) window->EnableItem(id, enable);
}

int CObjectPropsDialog::ComboIndex(int id) const {
  auto* combo = qobject_cast<QComboBox*>(GetItem(id));
  return combo ? combo->currentIndex() : -1;
}

void CObjectPropsDialog::SelectCombo(int id, int index) {
  if (auto* combo = qobject_cast<QComboBox*>(GetItem(id))) combo->setCurrentIndex(index);
}

CAppCommon* CObjectPropsDialog::App() { return CAppCommon::Instance(); }

std::optional<int32_t> ParseDecimalInt(const std::string& text) {
  int64_t value = 0;
  if (!vd::os::ParseInt64(text, value, 10) || value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> ParseNumber(const std::string& text) {
  double value = 0.0;
  if (!vd::os::ParseDouble(text, value) || !std::isfinite(value)) return std::nullopt;
  return value;
}

void WriteSettingInt(const char* section, const char* name, int32_t value) {
  vd::OpenAppProfile().SetInt(section, name, value);
}

void AddPropsButtons(vd::ui::DialogWindow& dialog, QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(dialog.AddControl(CObjectPropsDialog::kKeepButton, new QPushButton("OK")));
  row->addWidget(dialog.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(row);
}
