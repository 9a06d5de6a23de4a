#include "corvex/ui/obj_explorer_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_common.h"
#include "core/ui/message_boxes.h"
#include "corvex/ui/obj_explorer_tree.h"
#include "overlays/category.h"
#include "overlays/obj_current_position.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"

CViewObjExplorerDialog::CViewObjExplorerDialog(COstrelDocBase& document, QWidget* parent)
    : QWidget(parent), document_(document) {
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = new QLineEdit;
  created_ = new QLabel;
  modified_ = new QLabel;
  category_name_ = new QLabel;
  category_ = new QComboBox;
  category_->setEditable(true);
  category_->setInsertPolicy(QComboBox::NoInsert);
  form->addRow("Name:", name_);
  form->addRow("Created:", created_);
  form->addRow("Modified:", modified_);
  form->addRow("Category:", category_name_);
  form->addRow("Move to:", category_);
  layout->addLayout(form);
  auto* checks = new QHBoxLayout;
  locked_ = new QCheckBox("Locked");
  visible_ = new QCheckBox("Visible");
  checks->addWidget(visible_);
  checks->addWidget(locked_);
  layout->addLayout(checks);
  auto* buttons = new QHBoxLayout;
  show_ = new QPushButton("Show");
  delete_ = new QPushButton("Delete");
  help_ = new QPushButton("Help");
  buttons->addWidget(show_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  buttons->addWidget(help_);
  layout->addLayout(buttons);
  layout->addStretch();

  QObject::connect(name_, &QLineEdit::textEdited, this,
                   [this](const QString& text) { OnNameEdited(text); });
  QObject::connect(category_, &QComboBox::activated, this, [this](int index) {
    if (filling_ || !object_ || index < 0) return;
    category_edited_ = false;
    TakeCategory(category_->itemText(index).toStdString());
  });
  QObject::connect(category_, &QComboBox::editTextChanged, this, [this] {
    if (!filling_) category_edited_ = true;
  });
  QObject::connect(category_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (filling_ || !object_ || !category_edited_) return;
    category_edited_ = false;
    TakeCategory(category_->currentText().toStdString());
  });
  QObject::connect(locked_, &QCheckBox::clicked, this, [this](bool on) {
    if (!object_) return;
    object_->SetLocked(on);
    Fill();
  });
  QObject::connect(visible_, &QCheckBox::clicked, this, [this](bool on) {
    if (!object_) return;
    object_->SetVisible(on);
    object_->NotifyChange(kChangeEditState);
    Fill();
  });
  QObject::connect(show_, &QPushButton::clicked, this, [this] {
    if (!object_) return;
    if (!object_->visible) {
      object_->SetVisible(true);
      object_->NotifyChange(kChangeEditState);
    }
    object_->CentreInView();
  });
  QObject::connect(delete_, &QPushButton::clicked, this, [this] {
    if (object_) object_->Delete(true);  // the hint empties the form
  });
  QObject::connect(help_, &QPushButton::clicked, this,
                   [] { vd::ui::OpenHelpTopic("Overlay_Properties.htm"); });

  followed_ = dynamic_cast<COstrelDoc*>(&document_);
  if (followed_) followed_->AddHintListener(this);
  ShowObject(COstrelObject::GetSelected(&document_));
}

CViewObjExplorerDialog::~CViewObjExplorerDialog() {
  if (followed_) followed_->RemoveHintListener(this);
  if (object_) object_->Release();
}

QWidget* CViewObjExplorerDialog::Control(int id) const {
  switch (id) {
    case kNameEdit: return name_;
    case kCreatedText: return created_;
    case kModifiedText: return modified_;
    case kCategoryText: return category_name_;
    case kCategoryCombo: return category_;
    case kLockedCheck: return locked_;
    case kVisibleCheck: return visible_;
    case kShowButton: return show_;
    case kDeleteButton: return delete_;
    case kHelpButton: return help_;
    default: return nullptr;
  }
}

void CViewObjExplorerDialog::ShowObject(COstrelObject* object) {
  if (object != object_) {
    if (object) object->AddRef();
    if (object_) object_->Release();
    object_ = object;
  }
  Fill();
}

void CViewObjExplorerDialog::Fill() {
  filling_ = true;
  const bool has = object_ != nullptr;
  for (QWidget* control : {static_cast<QWidget*>(show_), static_cast<QWidget*>(name_),
                           static_cast<QWidget*>(visible_), static_cast<QWidget*>(locked_),
                           static_cast<QWidget*>(category_)})
    control->setEnabled(has);
  delete_->setEnabled(has && !object_->locked);
  if (!has) {
    name_->clear();
    created_->clear();
    modified_->clear();
    category_name_->clear();
    category_->clear();
    locked_->setChecked(false);
    visible_->setChecked(false);
    filling_ = false;
    return;
  }
  const QString name = QString::fromStdString(object_->name);
  if (!name_->hasFocus() && name_->text() != name) name_->setText(name);
  locked_->setChecked(object_->locked);
  visible_->setChecked(object_->visible);
  CAppCommon* app = CAppCommon::Instance();
  created_->setText(
      app ? QString::fromStdString(app->FormatDateTime(object_->created, true)) : QString());
  modified_->setText(
      app ? QString::fromStdString(app->FormatDateTime(object_->modified, true)) : QString());
  const std::string category = object_->category() ? object_->category()->name() : "";
  category_name_->setText(QString::fromStdString(category));
  if (!category_->hasFocus()) {
    category_->clear();
    size_t position = 0;
    while (const std::string* each = NextCategoryName(position))
      category_->addItem(QString::fromStdString(*each));
    category_->setCurrentIndex(category_->findText(QString::fromStdString(category)));
    category_edited_ = false;
  }
  filling_ = false;
}

void CViewObjExplorerDialog::OnNameEdited(const QString& text) {
  if (filling_ || !object_) return;
  object_->name = text.toStdString();
  // The own vessel is found again by the name the settings hold.
  if (auto* vessel = dynamic_cast<CObjCurrentPosition*>(object_)) vessel->SaveVesselName();
  object_->NotifyChange(kChangeModified);
}

bool CViewObjExplorerDialog::TakeCategory(const std::string& name) {
  if (!object_) return false;
  std::string problem;
  if (name.empty() || name.size() > CViewObjExplorerTree::kMaxCategoryName) {
    problem = CViewObjExplorerTree::CategoryNameProblem(name);
  } else {
    for (unsigned char c : name) {
      if (c < 0x20 || c == 0x7F) problem = "A category name cannot hold control characters.";
    }
  }
  if (!problem.empty()) {
    FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconWarning, "%s", problem.c_str());
    Fill();
    return false;
  }
  object_->SetCategory(name);
  object_->NotifyChange(kChangeCategory);
  Fill();
  return true;
}

void CViewObjExplorerDialog::OnDocumentHint(int hint, COstrelObject* object) {
  if (!object || hint > kChangeDisplay) {
    ObjectList* list = document_.GetObjectList();
    if (object_ && (!list || std::find(list->begin(), list->end(), object_) == list->end()))
      ShowObject(nullptr);
    else
      Fill();
    return;
  }
  if (hint == kChangeSelected) {
    if (object->IsSelected()) ShowObject(object);
    return;
  }
  if (object != object_) return;
  if (hint == kChangeDeleted)
    ShowObject(nullptr);
  else
    Fill();
}

void CViewObjExplorerDialog::OnDocumentDestroyed() {
  ShowObject(nullptr);
  followed_ = nullptr;
}
