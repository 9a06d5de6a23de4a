#include "corvex/ui/dlg_chart_select.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "charts/chart_merge.h"
#include "charts/old_quick_chart.h"
#include "overlays/category.h"
#include "overlays/make_in_document.h"
#include "overlays/obj_track.h"
#include "overlays/outline/old_chart_outline.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ui/dlg_edit_qct.h"
#include "corvex/ui/dlg_merge_chart.h"
#include "corvex/ui/dlg_register_charts.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/window_messages.h"

namespace {

using D = CDlgChartSelect;

constexpr const char* kHeadings[D::kColumnCount] = {"Name", "Type", "ID",  "Scale",
                                                    "Lat",  "Long", "Size"};
constexpr int kWidths[D::kColumnCount] = {300, 50, 50, 60, 70, 70, 50};
constexpr bool kNumeric[D::kColumnCount] = {false, false, false, true, true, true, true};

// Maps of this version and above keep their tiles in a chunk store.
constexpr uint32_t kChunkedVersion = 0x10000000;
constexpr double kLargeThumbnailFactor = 1.7;
constexpr size_t kChunkStatusNameLength = 25;
constexpr uint32_t kChunkStoredColour = 0x00C800;   // 0x00BBGGRR: green
constexpr uint32_t kChunkMissingColour = 0xC80000;  // blue

void BuildChartSelectDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Map List");
  auto* layout = new QVBoxLayout(&d);
  auto* search = new QHBoxLayout;
  search->addWidget(new QLabel("Search:"));
  search->addWidget(d.AddControl(D::kSearchEdit, new QLineEdit), 1);
  layout->addLayout(search);
  auto* tree = new QTreeWidget;
  tree->setColumnCount(D::kColumnCount);
  QStringList headings;
  for (const char* heading : kHeadings) headings << heading;
  tree->setHeaderLabels(headings);
  const double dpi_factor = d.logicalDpiX() / 96.0;
  for (int c = 0; c < D::kColumnCount; ++c)
    tree->setColumnWidth(c, static_cast<int>(kWidths[c] * dpi_factor));
  tree->setRootIsDecorated(false);
  // Map thumbnails: larger on a screen of high density.
  const int thumbnail = d.logicalDpiX() / 96.0 > kLargeThumbnailFactor ? 32 : 16;
  tree->setIconSize(QSize(thumbnail, thumbnail));
  tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree->header()->setSectionsClickable(true);
  layout->addWidget(d.AddControl(D::kMapList, tree), 1);
  layout->addWidget(d.AddControl(D::kDescriptionText, new QLabel));
  layout->addWidget(d.AddControl(D::kDatumText, new QLabel));
  layout->addWidget(d.AddControl(D::kNewWindowCheck, new QCheckBox("Open in new window")));
  layout->addWidget(
      d.AddControl(D::kLoadedOnlyCheck, new QCheckBox("Only show previously loaded maps")));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(d.AddControl(D::kDeleteButton, new QPushButton("Delete Map")));
  buttons->addWidget(d.AddControl(D::kEditButton, new QPushButton("Edit...")));
  buttons->addWidget(d.AddControl(D::kMergeButton, new QPushButton("Merge...")));
  buttons->addWidget(d.AddControl(D::kRefreshButton, new QPushButton("Refresh Map List...")));
  buttons->addWidget(d.AddControl(D::kChunkStatusButton, new QPushButton("Chunk Status")));
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

std::string Upper(std::string text) {
  StringToUpper(text);
  return text;
}

std::string Hemisphere(double value, char positive, char negative) {
  return vd::os::FormatC("%.4f%c", std::fabs(value), value < 0 ? negative : positive);
}

// The number of a scale text: "1:50,000" and "50000" both give 50000; 0 when there is none.
double ScaleNumber(const std::string& text) {
  const size_t colon = text.find(':');
  std::string digits = text.substr(colon == std::string::npos ? 0 : colon + 1);
  std::erase(digits, ',');
  std::erase(digits, ' ');
  double value = 0;
  return vd::os::ParseDouble(digits, value) ? value : 0;
}

// A merge's progress and errors in the program's windows.
ChartFileTask MergeTask(QWidget* parent, std::unique_ptr<CProgress>& progress) {
  ChartFileTask task;
  task.show_error = [](const std::string& text) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", text.c_str());
  };
  task.confirm = [](const std::string& text) {
    return FormatMessageBox(vd::ui::kMbOkCancel | vd::ui::kMbIconWarning, "%s", text.c_str()) ==
           vd::ui::kIdOk;
  };
  task.progress = [parent, &progress](const std::string& text, int done, int total) {
    if (done == 0 || !progress) progress = std::make_unique<CProgress>(text, total, parent);
    return progress->SetPos(done);
  };
  return task;
}

}  // namespace

std::string FormatMapSize(int64_t bytes, bool loaded) {
  if (!loaded) return "-";
  if (bytes == 0) return "?";
  struct Unit {
    int shift;
    char letter;
  };
  for (const Unit unit : {Unit{30, 'G'}, Unit{20, 'M'}, Unit{10, 'k'}}) {
    if (bytes >= (int64_t{1} << unit.shift))
      return vd::os::FormatC("%4.3g%c", double(bytes) / double(int64_t{1} << unit.shift),
                             unit.letter);
  }
  return vd::os::FormatC("%4.3g ", double(bytes));
}

std::string MapScaleText(const std::string& description) {
  const size_t at = description.find("Scale:");
  if (at == std::string::npos) return "";
  const std::string rest = description.substr(std::min(at + 7, description.size()));
  return rest.substr(0, rest.find(';'));
}

bool OutlineMatchesSearch(const COldChartOutline& outline, const std::string& search) {
  if (search.empty()) return true;
  const std::string wanted = Upper(search);
  for (const std::string* text : {&outline.name, &outline.map_type, &outline.chart_id,
                                  &outline.chart_path, &outline.title, &outline.description}) {
    if (Upper(*text).find(wanted) != std::string::npos) return true;
  }
  return false;
}

std::string DatumShiftText(const COldChartOutline& outline) {
  if (!outline.has_datum_shift) return "WGS84 Datum shift unknown";
  const double lat = outline.shift_lat * -60.0;
  const double lon = outline.shift_lon * -60.0;
  return vd::os::FormatC("Datum shift: %.4f'%c %.4f'%c", std::fabs(lat), lat < 0 ? 'S' : 'N',
                         std::fabs(lon), lon < 0 ? 'W' : 'E');
}

void CDlgChartSelect::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildChartSelectDialog);
}

CDlgChartSelect::CDlgChartSelect(COstrelDocBase& doc, ObjectList* list, QWidget* parent)
    : CDialogF1Help(kTemplate, parent), doc_(doc), list_(list ? list : doc.GetObjectList()) {
  RegisterTemplate();
}

void CDlgChartSelect::PresetNewWindow(bool open_in_new_window) {
  new_window_ = open_in_new_window;
  new_window_preset_ = true;
}

QTreeWidget* CDlgChartSelect::tree() const {
  return dialog_window()->ControlAs<QTreeWidget>(kMapList);
}

bool CDlgChartSelect::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  if (!window_name_.empty()) window->setObjectName(QString::fromStdString(window_name_));
  window->SetCheckState(kNewWindowCheck, new_window_ ? 1 : 0);
  window->EnableItem(kNewWindowCheck, !new_window_preset_);
  SetItemText(kSearchEdit, search_text_);
  QTreeWidget* list = tree();
  QObject::connect(list->header(), &QHeaderView::sectionClicked, list,
                   [this](int column) { SortBy(column); });
  QObject::connect(list, &QTreeWidget::itemSelectionChanged, list, [this] { UpdateChoice(); });
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, list, [this] { OnOK(); });
  Fill();
  const bool own_list = list_ == doc_.GetObjectList();
  auto* program_doc = dynamic_cast<COstrelDoc*>(&doc_);
  if (program_doc && own_list &&
      (vd::OpenAppProfile().GetInt("chart_dirs", "update").value_or(0) != 0 || rows_.empty())) {
    program_doc->RescanChartFolders();
    Fill();
    // Still no map: the user says where to look.
    if (rows_.empty() && RefreshMapList()) Fill();
  }
  sort_column_ = kScale;
  ascending_ = true;
  ShowRows();
  return true;
}

void CDlgChartSelect::Fill() {
  rows_.clear();
  search_text_ = GetItemText(kSearchEdit);
  loaded_only_ = dialog_window()->CheckState(kLoadedOnlyCheck) == 1;
  for (COstrelObject* object : *list_) {
    auto* outline = dynamic_cast<COldChartOutline*>(object);
    if (!outline || (loaded_only_ && outline->no_tiles) ||
        !OutlineMatchesSearch(*outline, search_text_)) {
      continue;
    }
    Row row;
    row.outline = outline;
    row.texts[kName] = outline->name;
    row.texts[kType] = outline->map_type;
    row.texts[kId] = outline->chart_id;
    if (outline->scale > 0) {
      double lat = 0, lon = 0;
      outline->GetCentre(lat, lon);
      row.texts[kScale] = MapScaleText(outline->description);
      row.numbers[kScale] = ScaleNumber(row.texts[kScale]);
      row.texts[kLat] = Hemisphere(lat, 'N', 'S');
      row.texts[kLong] = Hemisphere(lon, 'E', 'W');
      row.numbers[kLat] = lat;
      row.numbers[kLong] = lon;
    }
    if (outline->IsChunkStore()) outline->GetDiskSize();
    row.texts[kSize] = FormatMapSize(outline->disk_size, !outline->no_tiles);
    row.numbers[kSize] = outline->no_tiles ? -1.0 : double(outline->disk_size);
    rows_.push_back(std::move(row));
  }
}

void CDlgChartSelect::ShowRows() {
  const int column = sort_column_;
  const bool ascending = ascending_;
  std::stable_sort(rows_.begin(), rows_.end(), [column, ascending](const Row& a, const Row& b) {
    const Row& first = ascending ? a : b;
    const Row& second = ascending ? b : a;
    if (kNumeric[column]) return first.numbers[column] < second.numbers[column];
    return std::strcmp(first.texts[column].c_str(), second.texts[column].c_str()) < 0;
  });
  QTreeWidget* list = tree();
  const QSignalBlocker quiet(list);
  list->clear();
  for (const Row& row : rows_) {
    auto* item = new QTreeWidgetItem;
    for (int c = 0; c < kColumnCount; ++c) item->setText(c, QString::fromStdString(row.texts[c]));
    if (!row.outline->thumbnail.IsNull())
      item->setIcon(kName, QIcon(QPixmap::fromImage(row.outline->thumbnail.qimage())));
    list->addTopLevelItem(item);
    item->setSelected(row.outline->selected);
  }
  // The short columns (all but the name) open at least as wide as their heading and texts, so
  // that a map's type and ID show whole.
  for (int c = kName + 1; c < kColumnCount; ++c) {
    const int width = list->columnWidth(c);
    list->resizeColumnToContents(c);  // the heading's and the texts' width
    if (list->columnWidth(c) < width) list->setColumnWidth(c, width);
  }
  UpdateChoice();
}

void CDlgChartSelect::SortBy(int column) {
  if (column < 0 || column >= kColumnCount) return;
  ascending_ = column == sort_column_ ? !ascending_ : true;
  sort_column_ = column;
  ShowRows();
}

std::vector<COldChartOutline*> CDlgChartSelect::RowOutlines() const {
  std::vector<COldChartOutline*> outlines;
  for (const Row& row : rows_) outlines.push_back(row.outline);
  return outlines;
}

std::vector<COldChartOutline*> CDlgChartSelect::SelectedOutlines() const {
  std::vector<COldChartOutline*> outlines;
  QTreeWidget* list = tree();
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (list->topLevelItem(i)->isSelected()) outlines.push_back(rows_[size_t(i)].outline);
  return outlines;
}

void CDlgChartSelect::UpdateChoice() {
  const std::vector<COldChartOutline*> selected = SelectedOutlines();
  chosen_ = !selected.empty() ? selected.front() : rows_.size() == 1 ? rows_.front().outline
                                                                      : nullptr;
  chosen_path_ = chosen_ ? chosen_->chart_path : "";
  SetItemText(kDescriptionText, chosen_ ? chosen_->title + "\n" + chosen_->description : "");
  SetItemText(kDatumText, chosen_ ? DatumShiftText(*chosen_) : "");
  vd::ui::DialogWindow* window = dialog_window();
  window->EnableItem(kMergeButton, selected.size() > 1);
  window->EnableItem(kDeleteButton, chosen_ != nullptr);
  window->EnableItem(kEditButton, chosen_ != nullptr);
  window->EnableItem(kChunkStatusButton, chosen_ && (selected.size() <= 1) &&
                                             chosen_->chart_version >= kChunkedVersion);
}

void CDlgChartSelect::OnOK() {
  UpdateChoice();
  if (!chosen_) return;
  new_window_ = dialog_window()->CheckState(kNewWindowCheck) == 1;
  const std::vector<COldChartOutline*> selected = SelectedOutlines();
  for (COstrelObject* object : *list_) {
    if (auto* outline = dynamic_cast<COldChartOutline*>(object))
      outline->selected = std::find(selected.begin(), selected.end(), outline) != selected.end();
  }
  EndDialog(vd::ui::kIdOk);
}

void CDlgChartSelect::OnCommand(int id, QWidget* control, int code) {
  switch (id) {
    case kSearchEdit:
    case kLoadedOnlyCheck:
      Fill();
      ShowRows();
      return;
    case kDeleteButton: DeleteSelected(); return;
    case kEditButton: EditChosen(); return;
    case kMergeButton: MergeSelected(); return;
    case kRefreshButton:
      if (RefreshMapList()) {
        list_ = doc_.GetObjectList();
        Fill();
        ShowRows();
      }
      return;
    case kChunkStatusButton: ShowChunkStatus(); return;
    default: CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgChartSelect::DeleteSelected() {
  std::vector<COldChartOutline*> doomed = SelectedOutlines();
  if (doomed.empty() && chosen_) doomed.push_back(chosen_);
  if (doomed.empty()) return;
  const int answer =
      doomed.size() > 1
          ? FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                             "Delete multiple maps...\n\nAre you sure?")
          : FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                             "Delete map \"%s\"\n\nAre you sure?", doomed.front()->name.c_str());
  if (answer != vd::ui::kIdYes) return;
  for (COldChartOutline* outline : doomed) {
    if (ChartFileLockedElsewhere(outline->chart_path)) {
      FormatMessageBox(vd::ui::kMbIconError,
                       "The map is in use. Please close the map and try again");
      continue;
    }
    outline->RefreshViews();
    // Held while its files go: deleting may release the document's reference.
    outline->AddRef();
    if (!outline->DeleteChartFiles()) {
      const int error = errno;
      FormatMessageBox(vd::ui::kMbIconError, "%s",
                       error == EBUSY || error == ETXTBSY
                           ? "The map is in use. Please close the map and try again"
                           : "Failed to delete file");
    } else if (const auto entry = std::find(list_->begin(), list_->end(), outline);
               entry != list_->end()) {
      list_->erase(entry);  // a list other than the document's
      outline->Release();
    }
    outline->Release();
  }
  Fill();
  ShowRows();
}

void CDlgChartSelect::EditChosen() {
  if (!chosen_ || !CDlgEditQCT::PrepareFile(chosen_->chart_path)) return;
  CDlgEditQCT editor(*chosen_, widget());
  if (editor.DoModal() != vd::ui::kIdOk) return;
  Fill();
  ShowRows();
}

void CDlgChartSelect::MergeSelected() {
  std::vector<MergeOutline> outlines;
  for (COldChartOutline* outline : SelectedOutlines()) {
    if (outline->scale <= 0) continue;
    MergeOutline entry;
    entry.path = outline->chart_path;
    outline->GetCentre(entry.centre.lat, entry.centre.lon);
    entry.flags = outline->header_flags;
    entry.scale_nm = outline->scale;
    outlines.push_back(entry);
  }
  CDlgMergeChart merge(widget());
  if (merge.DoModal() != vd::ui::kIdOk) return;
  std::unique_ptr<CProgress> progress;
  const bool merged = MergeChartOutlines(merge.output_path(), outlines, merge.antialias(),
                                         &merge.name(), MergeTask(widget(), progress));
  progress.reset();
  if (!merged) return;
  chosen_ = nullptr;
  chosen_path_ = merge.output_path();
  new_window_ = dialog_window()->CheckState(kNewWindowCheck) == 1;
  EndDialog(vd::ui::kIdOk);
}

bool CDlgChartSelect::RefreshMapList() {
  auto* program_doc = dynamic_cast<COstrelDoc*>(&doc_);
  if (!program_doc) return false;
  CDlgRegisterCharts dialog(*program_doc, dialog_window());
  return dialog.DoModal(dialog_window()) == vd::ui::kIdOk;
}

std::string ChunkStatusCategory(const std::string& map_name) {
  std::string kept;
  for (char c : map_name) {
    if (kept.size() == kChunkStatusNameLength) break;
    if (std::isalnum(static_cast<unsigned char>(c)) || std::string_view("_-.+").find(c) != std::string_view::npos)
      kept += c;
  }
  return "Chunk Status:" + kept;
}

void CDlgChartSelect::ShowChunkStatus() {
  if (!chosen_ || chosen_->chart_version < kChunkedVersion) return;
  std::unique_ptr<COldQuickChart> chart = OpenOldQuickChart(chosen_->chart_path, false);
  if (!chart) return;  // the reader has said why
  const std::string category = ChunkStatusCategory(chosen_->name);
  ObjectList* list = doc_.GetObjectList();
  if (!list) return;
  {
    CCurrentOwnerScope owner(&doc_);
    // A status shown before for this map goes first.
    ObjectList earlier;
    for (COstrelObject* object : *list)
      if (object->IsKindOf(CObjTrack::kClass) && CCategory::GetNameOr(object->category()) == category)
        earlier.push_back(object);
    for (COstrelObject* object : earlier) object->AddRef();
    for (COstrelObject* object : earlier) {
      object->Delete(false);
      object->Release();
    }
    int cursor = -1;
    std::array<GeoPoint, 4> quad;
    bool available = false, complete = false;
    while (chart->NextChunkRun(cursor, quad, available, complete)) {
      auto* track = MakeInDocument<CObjTrack>(&doc_);
      if (!track) break;
      track->SetCategory(category);
      track->name = available ? ":chunk" : ":chunk not downloaded";
      track->colour = available ? kChunkStoredColour : kChunkMissingColour;
      for (int i = 0; i < 5; ++i)
        track->AddPoint(quad[size_t(i % 4)].lat, quad[size_t(i % 4)].lon, 0, 0, 0, 0);
      track->NotifyChange(kChangeAdded);
    }
  }
  doc_.UpdateAllViews(nullptr, kChangeAdded, nullptr);
  EndDialog(vd::ui::kIdCancel);
}
