#include "corvex/ui/place_search_dialog.h"

#include <QKeyEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "app/app_common.h"
#include "app/shell_services.h"
#include "core/ui/message_boxes.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/message_box.h"

namespace {

void BuildFindNameDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Find Location");
  auto* layout = new QVBoxLayout(&d);
  auto* search = new QGridLayout;
  search->addWidget(new QLabel("Find:"), 0, 0);
  search->addWidget(d.AddControl(CDlgFindName::kFindEdit, new QLineEdit), 0, 1);
  search->addWidget(d.AddControl(CDlgFindName::kSearchButton, new QPushButton("Search")), 0, 2);
  search->addWidget(new QLabel("Category:"), 1, 0);
  search->addWidget(d.AddControl(CDlgFindName::kCategoryCombo, new QComboBox), 1, 1, 1, 2);
  layout->addLayout(search);
  auto* list = d.AddControl(CDlgFindName::kNameList, new QListWidget);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(list, 1);
  layout->addWidget(new QLabel("Enter the location you wish to view"));
  layout->addWidget(d.AddControl(CDlgFindName::kPositionEdit, new QLineEdit));
  layout->addWidget(d.AddControl(CDlgFindName::kExampleText, new QLabel));
  layout->addWidget(
      d.AddControl(CDlgFindName::kCreateMarkCheck, new QCheckBox("Create mark at location")));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("View")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  buttons->addWidget(d.AddControl(vd::ui::kIdHelp, new QPushButton("Help")));
  layout->addLayout(buttons);
}

// Runs `on_enter` for the Return and Enter keys of the watched control, which go no further.
class EnterFilter : public QObject {
 public:
  EnterFilter(QObject* parent, std::function<void()> on_enter)
      : QObject(parent), on_enter_(std::move(on_enter)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        on_enter_();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> on_enter_;
};

// Upper case as the index's search wants it: a capital in the pattern also finds small letters.
std::string UpperCased(const std::string& text) {
  return QString::fromStdString(text).toUpper().toStdString();
}

}  // namespace

void CDlgFindName::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildFindNameDialog);
}

CDlgFindName::CDlgFindName(const std::string& index_path, double lat, double lon,
                           QWidget* parent)
    : CDialogF1Help(kTemplate, parent) {
  RegisterTemplate();
  search_text_.Init(kSearchTextSetting);
  create_mark_.Init(kCreateMarkSetting, 0);
  index_path_ = index_path;
  index_.Open(index_path);
  FormatPositionText(lat, lon, example_);
}

CDlgFindName::~CDlgFindName() = default;  // the settings write themselves back

QListWidget* CDlgFindName::List() const {
  vd::ui::DialogWindow* window = dialog_window();
  return window ? window->ControlAs<QListWidget>(kNameList) : nullptr;
}

bool CDlgFindName::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  SetItemText(kFindEdit, search_text_.value);
  SetItemText(kExampleText, "Eg, " + example_);
  window->ControlAs<QCheckBox>(kCreateMarkCheck)->setChecked(create_mark_.value != 0);
  auto* categories = window->ControlAs<QComboBox>(kCategoryCombo);
  categories->addItem("Any category");
  GeoNameCursor cursor = nullptr;
  for (index_.NextCategory(cursor); cursor != nullptr; index_.NextCategory(cursor))
    categories->addItem(QString::fromStdString(COldGeoNameDatabase::Read(cursor).name));
  categories->setCurrentIndex(0);

  QListWidget* list = List();
  QObject::connect(categories, &QComboBox::currentIndexChanged, list, [this] { Search(); });
  QObject::connect(list, &QListWidget::itemClicked, list, [this] { ChooseNameMode(); });
  QObject::connect(list, &QListWidget::itemDoubleClicked, list, [this] {
    ChooseNameMode();
    OnOK();
  });
  QObject::connect(list, &QListWidget::customContextMenuRequested, list, [list] {
    if (list->selectedItems().isEmpty() && list->count() > 0) list->setCurrentRow(0);
  });
  QObject::connect(window->ControlAs<QLineEdit>(kPositionEdit), &QLineEdit::textEdited, list,
                   [this] {
                     coordinate_mode_ = true;
                     UpdateViewButton();
                   });
  QObject::connect(list, &QListWidget::itemSelectionChanged, list, [this] { UpdateViewButton(); });
  // Enter in the search text searches; elsewhere it is "View".
  QWidget* find = window->Control(kFindEdit);
  find->installEventFilter(new EnterFilter(find, [this] { Search(); }));
  Search();
  return true;
}

void CDlgFindName::OnCommand(int id, QWidget* control, int code) {
  if (id == kSearchButton) {
    Search();
    return;
  }
  CDialogF1Help::OnCommand(id, control, code);
}

void CDlgFindName::ChooseNameMode() {
  coordinate_mode_ = false;
  UpdateViewButton();
}

void CDlgFindName::Search() {
  QListWidget* list = List();
  auto* categories = dialog_window()->ControlAs<QComboBox>(kCategoryCombo);
  const int category = categories->currentIndex() - 1;
  const std::string text = UpperCased(GetItemText(kFindEdit));
  list->setVisible(false);
  list->clear();
  rows_.clear();
  GeoNameCursor cursor = nullptr;
  for (index_.FindNext(cursor, category, text); cursor != nullptr;
       index_.FindNext(cursor, category, text)) {
    if (rows_.size() == kMaxRows) {
      list->addItem(kTooMany);
      rows_.push_back(nullptr);
      break;
    }
    list->addItem(QString::fromStdString(COldGeoNameDatabase::Read(cursor).name));
    rows_.push_back(cursor);
  }
  // An empty list says why.
  if (rows_.empty()) {
    list->addItem(index_.IsOpen() ? QString(kNoneFound)
                                  : QString::fromStdString(kNoIndex + index_path_));
    rows_.push_back(nullptr);
  }
  list->setVisible(true);
  coordinate_mode_ = false;
  UpdateViewButton();
}

std::optional<GeoNamePlace> CDlgFindName::ChosenPlace() const {
  const QListWidget* list = List();
  int row = list->currentRow();
  if (list->selectedItems().isEmpty()) row = list->count() == 1 ? 0 : -1;
  if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row] == nullptr)
    return std::nullopt;
  return COldGeoNameDatabase::Read(rows_[row]);
}

void CDlgFindName::UpdateViewButton() {
  if (vd::ui::DialogWindow* window = dialog_window())
    window->EnableItem(vd::ui::kIdOk, coordinate_mode_ || ChosenPlace().has_value());
}

void CDlgFindName::OnOK() {
  create_mark_.value =
      dialog_window()->ControlAs<QCheckBox>(kCreateMarkCheck)->isChecked() ? 1 : 0;
  if (coordinate_mode_) {
    const std::string typed = GetItemText(kPositionEdit);
    if (!ParsePositionText(typed, lat_, lon_)) {
      const int answer = FormatMessageBox(vd::ui::kMbOkCancel | vd::ui::kMbIconInformation, "%s",
                                          "The Goto position you entered was not understood.\n"
                                          "Please follow the format shown in the example.");
      if (answer == vd::ui::kIdCancel) EndDialog(vd::ui::kIdCancel);
      return;
    }
    name_ = typed;
    EndDialog(vd::ui::kIdOk);
    return;
  }
  const std::optional<GeoNamePlace> place = ChosenPlace();
  if (!place) {
    EndDialog(vd::ui::kIdCancel);
    return;
  }
  search_text_.value = GetItemText(kFindEdit);
  lat_ = place->lat;
  lon_ = place->lon;
  name_ = place->name;
  EndDialog(vd::ui::kIdOk);
}

void GoToFoundLocation(COstrelDocBase& doc, const CDlgFindName& dialog) {
  doc.OpenBestChartAt(dialog.lat(), dialog.lon(), 0.0, 1.0, 1);
}
