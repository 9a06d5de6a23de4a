#include "corvex/ui/map_shop_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "corvex/ui/browse_for_folder.h"
#include "charts/vdpkg_file.h"
#include "app/app_common.h"
#include "core/download_progress.h"
#include "core/file_utils.h"
#include "core/http_connection.h"
#include "core/path_utils.h"
#include "core/url_utils.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "corvex/startup_files.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"

namespace {

using D = CDlgKartovia;

constexpr int kItemRole = Qt::UserRole;

void BuildShopDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Kartovia");
  auto* layout = new QVBoxLayout(&d);

  auto* folder = new QHBoxLayout;
  folder->addWidget(d.AddControl(D::kFolderEdit, new QLineEdit), 1);
  folder->addWidget(d.AddControl(D::kFolderButton, new QPushButton("KVX Folder...")));
  layout->addLayout(folder);

  auto* filters = new QHBoxLayout;
  auto* place = new QGroupBox("Filter by Place");
  auto* place_layout = new QVBoxLayout(place);
  auto* radios = new QButtonGroup(place);
  for (auto [id, text] : {std::pair{D::kAreaRadio, "At Viewed Area"},
                          std::pair{D::kEverywhereRadio, "Maps Everywhere"}}) {
    auto* radio = d.AddControl(id, new QRadioButton(text));
    radios->addButton(radio);
    place_layout->addWidget(radio);
  }
  filters->addWidget(place);
  auto* keyword = new QGroupBox("Filter by Keyword");
  auto* keyword_layout = new QHBoxLayout(keyword);
  keyword_layout->addWidget(d.AddControl(D::kKeywordEdit, new QLineEdit), 1);
  keyword_layout->addWidget(d.AddControl(D::kSearchButton, new QPushButton("Search")));
  filters->addWidget(keyword, 1);
  layout->addLayout(filters);

  auto* tree = new QTreeWidget;
  tree->setHeaderHidden(true);
  tree->setMinimumSize(360, 300);
  layout->addWidget(d.AddControl(D::kTree, tree), 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(d.AddControl(D::kHelpButton, new QPushButton("Help")));
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("Continue...")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

// Characters, not bytes, of UTF-8 text.
size_t CharacterCount(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return !tail.empty() && text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string StoreRelativePath(const std::string& address_path) {
  const size_t kvx = address_path.find("KVX");
  std::string relative = kvx == std::string::npos ? address_path : address_path.substr(kvx + 3);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  relative.erase(0, relative.find_first_not_of('/'));
  return CVdPkgFile::IsSafeName(relative) ? relative : std::string();
}

void CDlgKartovia::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildShopDialog);
}

CDlgKartovia::CDlgKartovia(const GeoPoint* points, int count, const std::string& chart_path,
                           QWidget* parent)
    : CDialogF1Help(kTemplate, parent),
      points_(points),
      count_(points ? std::max(count, 0) : 0),
      keyword_mode_(count_ == 0) {
  RegisterTemplate();
  std::string& folder = store_folder_.value;
  if (folder.empty()) folder = CAppCommon::GetKvxFolder();
  if (chart_path.size() >= 2 && chart_path.compare(0, folder.size(), folder) == 0) {
    sub_path_ = chart_path.substr(folder.size());
    std::replace(sub_path_.begin(), sub_path_.end(), '\\', '/');
  }
}

CDlgKartovia::~CDlgKartovia() = default;

QTreeWidget* CDlgKartovia::tree() const {
  return dialog_window()->ControlAs<QTreeWidget>(kTree);
}

bool CDlgKartovia::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  vd::ui::DialogWindow* window = dialog_window();
  QTreeWidget* list = tree();
  list->setIndentation(static_cast<int>(16 * list->devicePixelRatioF()));
  QObject::connect(list, &QTreeWidget::itemSelectionChanged, list,
                   [this] { dialog_window()->EnableItem(vd::ui::kIdOk, SelectedItem() != nullptr); });
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, list, [this] {
    if (SelectedItem()) OnOK();
  });
  SetItemText(kFolderEdit, store_folder_.value);
  window->SetCheckState(keyword_mode_ ? kEverywhereRadio : kAreaRadio, 1);
  window->EnableItem(kAreaRadio, count_ > 0);
  window->EnableItem(vd::ui::kIdOk, false);
  Search();
  return true;
}

void CDlgKartovia::OnCommand(int id, QWidget* control, int code) {
  switch (id) {
    case kAreaRadio:
    case kEverywhereRadio:
      if (code != vd::ui::kBnClicked) return;
      keyword_mode_ = id == kEverywhereRadio;
      Search();
      return;
    case kSearchButton:
      Search();
      return;
    case kKeywordEdit:
      // While a keyword is being typed, Enter searches.
      if (code == vd::ui::kEnChange) SetDefaultButton(kSearchButton);
      return;
    case kFolderEdit:
      if (code == vd::ui::kEnChange) store_folder_.value = GetItemText(kFolderEdit);
      return;
    case kFolderButton:
      if (std::string chosen = store_folder_.value;
          BrowseForFolder(chosen, "Folder for downloaded map data", widget(), 17)) {
        store_folder_.value = chosen;
        SetItemText(kFolderEdit, chosen);
      }
      return;
    case kHelpButton:
      OnHelpInfo();
      return;
    default:
      CDialogF1Help::OnCommand(id, control, code);
  }
}

void CDlgKartovia::Search() {
  vd::ui::DialogWindow* window = dialog_window();
  window->EnableItem(kKeywordEdit, keyword_mode_);
  window->EnableItem(kSearchButton, keyword_mode_);
  if (query_) {
    SaveExpanded();
    query_.reset();
  }
  if (!keyword_mode_) {
    query_ = std::make_unique<CMapStoreQuery>(points_, count_);
  } else {
    keyword_ = GetItemText(kKeywordEdit);
    if (CharacterCount(keyword_) >= 2) {
      query_ = std::make_unique<CMapStoreQuery>(keyword_, count_ > 0 ? points_[0].lat : 0.0,
                                                count_ > 0 ? points_[0].lon : 0.0);
    }
  }
  if (query_) {
    present_.clear();
    for (const MapStoreItem& item : query_->items()) present_.insert(item.category);
    const vd::os::ProfileStore profile = vd::OpenAppProfile();
    for (const std::string& category : present_) {
      if (profile.GetInt(kMapTypesSection, category).value_or(0) != 0) expanded_.insert(category);
    }
    const bool any_open = std::any_of(present_.begin(), present_.end(),
                                      [this](const std::string& c) { return expanded_.count(c); });
    if (!any_open) {
      if (present_.count("Topo")) {
        expanded_.insert({"Topo", "Basemap"});
      } else {
        expanded_.insert(present_.begin(), present_.end());
      }
    }
  }
  FillTree();
  SetDefaultButton(vd::ui::kIdOk);
}

void CDlgKartovia::FillTree() {
  QTreeWidget* list = tree();
  list->clear();
  shown_.reset();
  to_select_ = nullptr;
  if (query_ && !query_->items().empty()) {
    shown_ = query_->BuildTree(expanded_);
    for (const auto& child : shown_->children) AddNode(*child, nullptr);
    if (to_select_) {
      list->setCurrentItem(to_select_);
      list->scrollToItem(to_select_);
    }
    if (query_->more() > 0) {
      list->addTopLevelItem(new QTreeWidgetItem(QStringList(
          QString::number(query_->more()) + " more available. Search a smaller area.")));
    }
  } else if (keyword_mode_) {
    list->addTopLevelItem(
        new QTreeWidgetItem(QStringList(QString("Enter a keyword to search the Kartovia..."))));
  }
  dialog_window()->EnableItem(vd::ui::kIdOk, SelectedItem() != nullptr);
}

void CDlgKartovia::AddNode(const CMapStoreNode& node, QTreeWidgetItem* parent) {
  auto* entry = new QTreeWidgetItem(QStringList(QString::fromStdString(node.name)));
  QStyle* style = QApplication::style();
  if (node.item) {
    entry->setIcon(0, style->standardIcon(QStyle::SP_FileIcon));
    entry->setData(0, kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(&*node.item)));
    if (EndsWith(node.item->address, sub_path_)) to_select_ = entry;
  } else {
    entry->setIcon(0, style->standardIcon(node.name == CMapStoreNode::kPackages
                                              ? QStyle::SP_DriveNetIcon
                                              : QStyle::SP_DirIcon));
  }
  if (parent) {
    parent->addChild(entry);
  } else {
    tree()->addTopLevelItem(entry);
  }
  for (const auto& child : node.children) AddNode(*child, entry);
  entry->setExpanded(node.expanded);
}

const MapStoreItem* CDlgKartovia::SelectedItem() const {
  const QTreeWidgetItem* current = tree()->currentItem();
  if (!current || !current->isSelected()) return nullptr;
  return reinterpret_cast<const MapStoreItem*>(current->data(0, kItemRole).value<quintptr>());
}

void CDlgKartovia::SaveExpanded() {
  std::set<std::string> visible;
  QTreeWidget* list = tree();
  std::vector<QTreeWidgetItem*> pending;
  for (int i = 0; i < list->topLevelItemCount(); ++i) pending.push_back(list->topLevelItem(i));
  while (!pending.empty()) {
    QTreeWidgetItem* entry = pending.back();
    pending.pop_back();
    if (const auto* item =
            reinterpret_cast<const MapStoreItem*>(entry->data(0, kItemRole).value<quintptr>())) {
      visible.insert(item->category);
    } else if (entry->isExpanded()) {
      for (int i = 0; i < entry->childCount(); ++i) pending.push_back(entry->child(i));
    }
  }
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  for (const std::string& category : present_) {
    profile.SetInt(kMapTypesSection, category, visible.count(category) ? 1 : 0);
  }
  expanded_ = std::move(visible);
}

bool CDlgKartovia::FetchPackage(const MapStoreItem& item, const std::string& address_path,
                                const std::string& local_path) {
  if (!CreateDirectoryTree(GetPathDirectory(local_path))) {
    FormatMessageBox(vd::ui::kMbIconError, "Can't access KVX folder");
    return false;
  }
  std::string scheme, host, path;
  SplitUrl(item.address, scheme, host, path);
  bool secure = scheme == "https";
  if (host.empty()) CMapStoreQuery::StoreServer(secure, host);

  CDownloadProgress record;
  CProgress progress("Downloading " + item.name + "...", 1000, widget());
  struct Watch {
    CDownloadProgress& record;
    CProgress& progress;
  } watch{record, progress};
  CHttpConnection connection(host, secure);
  connection.SetProgress(&record);
  connection.SetAbortCallback(
      [](void* data) {
        auto* w = static_cast<Watch*>(data);
        return w->progress.SetPos64(w->record.done.load(), w->record.total.load());
      },
      &watch);
  if (!connection.GetToFile(address_path, local_path)) {
    FormatMessageBox(vd::ui::kMbIconError, "Download of \"%s\" failed", item.name.c_str());
    return false;
  }
  return true;
}

void CDlgKartovia::OnOK() {
  SaveExpanded();
  if (const MapStoreItem* item = SelectedItem()) {
    std::string scheme, host, path;
    SplitUrl(item->address, scheme, host, path);
    const std::string relative = StoreRelativePath(path);
    if (relative.empty()) {
      FormatMessageBox(vd::ui::kMbIconError, "Download of \"%s\" failed", item->name.c_str());
      return;
    }
    const std::string local = store_folder_.value + "/" + relative;
    if (PathHasExtension(local, "vdpkg") && !FetchPackage(*item, path, local)) return;
    result_.push_back(local);
  }

  vd::os::ProfileStore profile = vd::OpenAppProfile();
  std::vector<std::string> folders;
  LoadChartDirs(profile, folders);
  if (std::find(folders.begin(), folders.end(), store_folder_.value) == folders.end()) {
    folders.push_back(store_folder_.value);
    SaveChartDirs(profile, folders);
  }
  if (!result_.empty()) CDialogF1Help::OnOK();
}
