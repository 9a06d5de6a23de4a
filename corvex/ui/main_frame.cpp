#include "corvex/ui/main_frame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QScreen>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <optional>
#include <map>
#include <optional>

#include "core/file_utils.h"
#include "core/ui/progress.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/program_version.h"
#include "corvex/command_ids.h"
#include "corvex/menu_resource.h"
#include "corvex/ui/dlg_customize.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ui/dlg_print_options.h"
#include "corvex/ostrel_view.h"
#include "corvex/vd_transaction.h"
#include "corvex/ui/child_frame.h"
#include "corvex/ui/doc_template.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/dlg_chart_select.h"
#include "corvex/ui/dlg_gps_setup.h"
#include "corvex/ui/dlg_projection.h"
#include "corvex/ui/dlg_route_props.h"
#include "corvex/ui/standard_keys.h"
#include "corvex/ui/dlg_shapefile.h"
#include "corvex/ui/dlg_shapefile_output.h"
#include "corvex/ui/dlg_simulator.h"
#include "corvex/ui/map_shop_dialog.h"
#include "corvex/ui/place_search_dialog.h"
#include "corvex/ui/dlg_icons.h"
#include "corvex/ui/dlg_matching_overlay.h"
#include "corvex/ui/dlg_offset_mark.h"
#include "corvex/ui/obj_explorer_form.h"
#include "corvex/ui/obj_explorer_tree.h"
#include "corvex/ui/props_windows.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/help_pages.h"
#include "geodesy/projection.h"
#include "gps/garmin/create_garmin_interface.h"
#include "gps/garmin/garmin_io.h"
#include "gps/garmin/garmin_mass_storage.h"
#include "gps/ui/altitude_profile_wnd.h"
#include "gps/ui/dock_widget_host.h"
#include "gps/ui/heartrate_profile_wnd.h"
#include "gps/ui/other_profile_wnd.h"
#include "gps/ui/profile_window.h"
#include "gps/ui/speed_profile_wnd.h"
#include "gps/ui/nav_arrow.h"
#include "gps/ui/navigation_data.h"
#include "gps/ui/position_data.h"
#include "gps/ui/satellite_data.h"
#include "corvex/ui/splash_wnd.h"
#include "gps/create_gps_interface.h"
#include "gps/gps_interface.h"
#include "gps/gps_notice.h"
#include "overlays/category.h"
#include "overlays/obj_route.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/files.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/process.h"
#include "platform/ui/message_box.h"
#include "platform/ui/toolbar_images.h"

namespace {

constexpr char kLayoutSection[] = "DockingPaneLayouts\\NormalLayout";
constexpr char kLayoutStateName[] = "State";
constexpr char kLayoutPanesName[] = "Panes";
constexpr int kMenuBarId = 129;
constexpr int kToolbarIds[] = {273, 275, 278, 147};
constexpr int kPrintingToolbar = 147;

// Frame commands.
constexpr int kCmdExit = 57665;
constexpr int kCmdTile = 57650;
constexpr int kCmdCascade = 57651;
constexpr int kCmdPlanning = 33674;
constexpr int kCmdNavigation = 33675;
constexpr int kCmdLockToolbars = 33678;
constexpr int kCmdCheckUpdates = 33086;
constexpr int kCmdSatellites = 32944;
constexpr int kCmdCurrentPosition = 32934;
constexpr int kCmdCurrentPositionAlt = 32923;
constexpr int kCmdGpsSetup = 32809;
constexpr int kViewerCloseWaitMs = 200;


QString MenuText(const std::string& text) { return QString::fromStdString(text); }

bool IsDynamicMenuId(int id) {
  return id == kCmdHideCategoryFirst || id == kCmdShowCategoryFirst || id == kCmdOtherGridsFirst;
}

}  // namespace

CMainFrame::CMainFrame(COstrelApp& app) : vd::ui::NativeWindow(this), app_(app) {
  SetProc(this);
  setWindowTitle("Vardune");
  setAcceptDrops(true);
  command_bar_mode_ = vd::OpenAppProfile().GetInt(vd::kSettingsSection, "command_bar_mode").value_or(0);
}

CMainFrame::~CMainFrame() {
  // The explorer's tree outlives the property windows it opens in (it goes with the docks).
  if (explorer_tree_) explorer_tree_->SetPropsWindows(nullptr);
  ipc_server_.Stop();
  gps_.reset();
  DestroyedByOwner();
}

bool CMainFrame::Create() {
  mdi_ = new QMdiArea(this);
  mdi_->setViewMode(QMdiArea::SubWindowView);
  setCentralWidget(mdi_);

  readout_pane_ = new QLabel(this);
  gps_pane_ = new QLabel(this);
  statusBar()->addPermanentWidget(readout_pane_);
  statusBar()->addPermanentWidget(gps_pane_);

  dock_host_ = std::make_unique<CDockWidgetHost>(*this);
  InstallDockingHost(dock_host_.get());
  props_windows_ = std::make_unique<CPropsWindows>(this);

  BuildMenus();
  BuildToolbars();
  if (!menuBar() || toolbars_.size() < 3) return false;
  LoadCommandBars();
  ApplyToolbarLock();

  CSplashWnd::ShowSplash(QString::fromStdString("Version " + GetVersionString()) +
                             "  Charts with your marks, routes and tracks",
                         QString(), this);
  SetTimer(kSaveTimer, kSavePeriodMs);

  // Grid files for the Other Grids menu.
  std::vector<vd::os::DirEntry> entries;
  if (vd::os::ListFolder(app_.program_folder + "/Grids", entries)) {
    for (const auto& entry : entries) {
      if (!entry.is_dir && entry.name.size() > 4 &&
          entry.name.compare(entry.name.size() - 4, 4, ".dat") == 0)
        grid_list_.push_back(entry.name.substr(0, entry.name.size() - 4));
    }
  }
  // The common settings read after the frame exists.
  app_.LoadCommonSettings();
  // Other programs reach this window by its class name.
  inbox_ = std::make_unique<vd::os::MessageWindow>(
      [this](const vd::os::Message& message) { return HandleOtherProgram(message); });
  inbox_->SetWakeHook([this] {
    QMetaObject::invokeMethod(this, [this] { inbox_->DispatchPending(); }, Qt::QueuedConnection);
  });
  return ipc_server_.Listen(kMainWindowClass, *inbox_);
}

// ---- Messages ----

bool CMainFrame::TranslateEvent(QEvent*) { return false; }

intptr_t CMainFrame::HandleMessage(vd::ui::NativeWindow&, const vd::ui::Message& message) {
  if (message.msg == vd::os::kUserMessage) return OnUserMessage(message.wparam, message.lparam);
  if (message.msg == vd::ui::kWmTimer) {
    OnTimer(message.wparam);
    return 0;
  }
  if (message.msg == vd::ui::kWmClose) {
    CloseFrame();
    return 0;
  }
  return DefaultProc(message);
}

intptr_t CMainFrame::HandleOtherProgram(const vd::os::Message& message) {
  if (message.msg == vd::ui::kWmClose) {
    CloseFrame();
    return 0;
  }
  if (message.msg == vd::os::kIpcShowWindow) return ShowWithCommand(static_cast<int>(message.wparam));
  if (message.msg == vd::os::kIpcSetPlacement) {
    const std::string* text = ipc_server_.CurrentText();
    const auto rect = text ? vd::os::ParsePlacementText(*text) : std::nullopt;
    return rect && PlaceWindow(*rect) ? 1 : 0;
  }
  if (message.msg != vd::os::kUserMessage) return 0;
  switch (message.wparam) {
    case kOpenHandedFile:
      // Only a request that brought a text hands a path over; a plain number is no address.
      return OnUserMessage(message.wparam, reinterpret_cast<intptr_t>(ipc_server_.CurrentText()));
    case kOldClient:
    case kApiRequest:
      return OnUserMessage(message.wparam, message.lparam);
    default:
      return 0;
  }
}

intptr_t CMainFrame::OnUserMessage(uintptr_t w, intptr_t l) {
  COstrelDoc* document = Document();
  switch (w) {
    case kGpsNoticeFix:
    case kGpsNoticeSatellites:
    case kGpsNoticeFailure: {
      if (!document) return 0;
      const auto* record = reinterpret_cast<const GPS_position_info*>(l);
      if (record) OnGpsNotice(w, *record);
      return 1;
    }
    case kOpenHandedFile: {
      if (!document) return 0;
      // The path comes in the message; an older sender leaves it in the setting.
      std::string path = l ? *reinterpret_cast<const std::string*>(l)
                           : vd::OpenAppProfile().GetString(vd::kSettingsSection, "activate_open").value_or("");
      vd::OpenAppProfile().SetString(vd::kSettingsSection, "activate_open", "");
      // Brought back from the task bar as it was (maximised stays maximised) and forward.
      if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
      if (isHidden()) show();
      raise();
      activateWindow();
      // Opened once the sender has its answer: opening may ask the user things, and the other
      // program must not wait for that.
      if (!path.empty()) {
        QTimer::singleShot(0, this, [this, path] {
          if (COstrelDoc* doc = Document()) doc->OpenFileByType(path);
        });
      }
      return 1;
    }
    case kOldClient:
      if (!document) return 0;
      vd::ui::RunMessageBox(this,
                            "The external client requires a older version of Corvex (4.4 or earlier).",
                            "Corvex", vd::ui::kMbOk | vd::ui::kMbIconInformation);
      return 12;
    case kApiRequest:
      // Before the document exists there is nothing to act on.
      if (!document) return 12;
      return app_.ExecuteApiCommand(static_cast<int>(l));
    default:
      return document ? 1 : 0;
  }
}

void CMainFrame::OnGpsNotice(uintptr_t code, const GPS_position_info& record) {
  fix_ = record;
  fix_.satellite_update = code == kGpsNoticeSatellites ? 1 : 0;
  gps_status_ = std::string("GPS: ") + (fix_.status ? fix_.status : "");
  if (gps_pane_) gps_pane_->setText(QString::fromStdString(gps_status_));
  if (COstrelDoc* document = Document()) document->UpdateGPSPosition(fix_);
  if (code != kGpsNoticeFailure) return;
  const bool restart =
      fix_.restart_silently ||
      vd::ui::RunMessageBox(this, gps_status_, "Corvex",
                            vd::ui::kMbRetryCancel | vd::ui::kMbIconWarning) == vd::ui::kIdRetry;
  if (restart) {
    GPSParams params = LoadGPSParams();
    StartGPS(params);
  }
}

void CMainFrame::OnTimer(uintptr_t id) {
  if (id != kSaveTimer) return;
  // Edits of objects do not mark the document, so every period saves it: the configuration
  // document and the user-data file, each kept whole or not written at all.
  if (CMyDocTemplate* first = app_.first_template()) {
    if (COstrelDoc* document = first->document(); document && !document->GetPathName().empty())
      document->OnSaveDocument(document->GetPathName());
  }
  SetTimer(kSaveTimer, kSavePeriodMs);
}

// ---- GPS ----

GPSParams CMainFrame::LoadGPSParams() const {
  GPSParams params = ::LoadGPSParams(vd::OpenAppProfile());
  params.debug_log = gps_debug_log;
  return params;
}

void CMainFrame::StartGPS(GPSParams& params) {
  if (gps_)
    StopGPS();
  else
    fix_.status = "Starting";
  std::string error;
  // The Garmin kinds live in their own library, which the general factory cannot reach.
  if (params.type == GPSParams::kSimulator) {
    // The simulator is a window of the program: the general factory cannot make it.
    std::optional<GeoPoint> start;
    if (COstrelDoc* document = Document(); document && document->PeekCurrentPosition())
      start = document->PeekCurrentPosition()->position;
    gps_ = std::make_unique<CDlgSimulator>(fix_, message_window(), start,
                                           [this] { StopGPS(); }, this);
  } else {
    gps_ = params.type == GPSParams::kGarmin
               ? CreateGarminInterface(message_window(), params, fix_, &error)
               : CreateGpsInterface(message_window(), params, fix_, &error, app_.gps_clock);
  }
  if (!gps_ && !error.empty()) {
    gps_status_ = "GPS: " + error;
    if (gps_pane_) gps_pane_->setText(QString::fromStdString(gps_status_));
  }
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  SaveGPSParams(profile, params);
}

void CMainFrame::StopGPS() {
  if (!gps_) return;
  // The input's thread ends first, so nothing writes the record below.
  gps_.reset();
  fix_.valid = 0;
  fix_.water_speed = 0.0f;
  OnGpsNotice(kGpsNoticeFix, fix_);
  fix_.satellite_update = 0;
  fix_.satellites = {};
  fix_.satellites_used = 0;
  OnGpsNotice(kGpsNoticeSatellites, fix_);
}

void CMainFrame::StartGPSAtLaunch() {
  GPSParams params = LoadGPSParams();
  if ((PathHasExtension(params.port, "txt") || PathHasExtension(params.port, "nmea")) &&
      vd::ui::RunMessageBox(this, "GPS Demo?", "Corvex",
                            vd::ui::kMbYesNo | vd::ui::kMbIconQuestion) == vd::ui::kIdNo) {
    params.port = params.saved_port;
    params.type = params.saved_type;
  }
  StartGPS(params);
}

// ---- Placement requested by other programs ----

QRect ClampPlacement(const vd::os::PlacementRect& rect, const QRect& work_area) {
  const auto clamp = [](int64_t v, int64_t low, int64_t high) { return std::clamp(v, low, high); };
  const int64_t area_left = work_area.left(), area_top = work_area.top();
  const int64_t area_right = area_left + work_area.width();
  const int64_t area_bottom = area_top + work_area.height();
  const int64_t min_width = std::min<int64_t>(kMinPlacedWidth, work_area.width());
  const int64_t min_height = std::min<int64_t>(kMinPlacedHeight, work_area.height());
  // Each edge inside the work area; a rectangle too small (or turned inside out) grows to the
  // least usable size from its left and top edges, staying inside too.
  int64_t left = clamp(rect.left, area_left, area_right - min_width);
  int64_t top = clamp(rect.top, area_top, area_bottom - min_height);
  const int64_t right = clamp(rect.right, left + min_width, area_right);
  const int64_t bottom = clamp(rect.bottom, top + min_height, area_bottom);
  return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
               static_cast<int>(bottom - top));
}

bool CMainFrame::PlaceWindow(const vd::os::PlacementRect& rect) {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen || closed_) return false;
  const QRect place = ClampPlacement(rect, screen->availableVirtualGeometry());
  if (isMinimized() || isMaximized() || isFullScreen() || isHidden()) showNormal();
  // The rectangle is the whole window's, its frame included.
  const QSize frame_size = frameGeometry().size() - geometry().size();
  resize(place.size() - frame_size);
  move(place.topLeft());
  return true;
}

intptr_t CMainFrame::ShowWithCommand(int command) {
  if (closed_) return 0;
  switch (command) {
    case 0:  // hide
      hide();
      break;
    case 2:  // minimised
    case 6:  // minimise
      showMinimized();
      break;
    case 3:  // maximised
      showMaximized();
      break;
    case 1:  // normal
    case 9:  // restore
      showNormal();
      break;
    default:  // show as it was
      show();
      break;
  }
  if (command == 3 || command == 5) {
    raise();
    activateWindow();
  }
  return 1;
}

// ---- Status bar ----

void CMainFrame::SetStatusText(const std::string& text) {
  statusBar()->showMessage(QString::fromStdString(text));
}

void CMainFrame::ClearStatusText() { statusBar()->clearMessage(); }

std::string CMainFrame::StatusText() const { return statusBar()->currentMessage().toStdString(); }

void CMainFrame::SetReadoutText(const std::string& text) {
  if (readout_pane_) readout_pane_->setText(QString::fromStdString(text));
}

// ---- Menus and tool bars ----

namespace {

void AddEntries(QWidget* menu, const std::vector<CMenuEntry>& entries, CMainFrame& frame,
                const std::function<void(QMenu*)>& on_show);

void AddEntry(QWidget* parent, const CMenuEntry& entry, CMainFrame& frame,
              const std::function<void(QMenu*)>& on_show) {
  switch (entry.kind) {
    case CMenuEntry::kSeparator:
      if (auto* menu = qobject_cast<QMenu*>(parent)) menu->addSeparator();
      if (auto* bar = qobject_cast<QToolBar*>(parent)) bar->addSeparator();
      break;
    case CMenuEntry::kPopup: {
      auto* popup = new QMenu(MenuText(entry.text), parent);
      QObject::connect(popup, &QMenu::aboutToShow, popup, [popup, on_show] { on_show(popup); });
      AddEntries(popup, entry.children, frame, on_show);
      if (auto* menu = qobject_cast<QMenu*>(parent)) menu->addMenu(popup);
      if (auto* bar = qobject_cast<QMenuBar*>(parent)) bar->addMenu(popup);
      break;
    }
    case CMenuEntry::kItem: {
      auto* action = new QAction(MenuText(entry.text), parent);
      action->setData(entry.id);
      // Its own text, back on the entry when its command no longer names it otherwise.
      action->setProperty("entry_text", action->text());
      // Checkable only while its command reports a check (or radio) mark: other entries carry
      // no check box.
      if (IsDynamicMenuId(entry.id)) action->setProperty("dynamic", entry.id);
      const int id = entry.id;
      QObject::connect(action, &QAction::triggered, &frame, [&frame, id] { frame.RouteCommand(id); });
      parent->addAction(action);
      break;
    }
  }
}

void AddEntries(QWidget* menu, const std::vector<CMenuEntry>& entries, CMainFrame& frame,
                const std::function<void(QMenu*)>& on_show) {
  for (const auto& entry : entries) AddEntry(menu, entry, frame, on_show);
}

}  // namespace

std::string CMainFrame::MenuPath() const {
  return app_.program_folder + "/resources/menus/corvex.menu";
}

void CMainFrame::BuildMenus() {
  auto resource = LoadMenuResource(MenuPath(), kMenuBarId);
  if (!resource) return;
  AddEntries(menuBar(), resource->entries, *this, [this](QMenu* menu) { UpdateMenu(menu); });
  // The desktop's standard keys, shown in the menus. A key works while its command is enabled,
  // so these entries follow their commands' state as the tool bars do.
  for (QAction* action : menuBar()->findChildren<QAction*>()) {
    const std::optional<QKeySequence::StandardKey> key = StandardKeyOfCommand(action->data().toInt());
    if (!key || action->menu() || action->property("dynamic").isValid()) continue;
    action->setShortcuts(*key);
    keyed_actions_.push_back(action);
  }
}

std::vector<std::string> CMainFrame::DynamicMenuEntries(int id) const {
  std::vector<std::string> entries;
  if (id == kCmdHideCategoryFirst || id == kCmdShowCategoryFirst) {
    size_t position = 0;
    while (const std::string* name = NextCategoryName(position)) entries.push_back(*name);
  } else if (id == kCmdOtherGridsFirst) {
    entries = grid_list_;
  }
  if (entries.size() > kDynamicMenuSize) entries.resize(kDynamicMenuSize);
  return entries;
}

// An entry standing for a list (categories, grids) is replaced by one entry per list item,
// numbered from its own id, each time its menu opens.
void CMainFrame::FillDynamicMenu(QMenu* menu, QAction* placeholder) {
  const int first = placeholder->property("dynamic").toInt();
  for (QAction* action : menu->actions()) {
    const int id = action->data().toInt();
    if (action != placeholder && action->property("dynamic_entry").toBool() && id >= first &&
        id < first + static_cast<int>(kDynamicMenuSize)) {
      menu->removeAction(action);
      action->deleteLater();
    }
  }
  const auto entries = DynamicMenuEntries(first);
  placeholder->setVisible(entries.empty());
  placeholder->setEnabled(false);
  QAction* before = nullptr;
  const auto actions = menu->actions();
  const auto at = std::find(actions.begin(), actions.end(), placeholder);
  if (at != actions.end() && at + 1 != actions.end()) before = *(at + 1);
  for (size_t i = 0; i < entries.size(); ++i) {
    auto* action = new QAction(QString::fromStdString(entries[i]), menu);
    const int id = first + static_cast<int>(i);
    action->setData(id);
    action->setProperty("dynamic_entry", true);
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    menu->insertAction(before, action);
  }
}

void CMainFrame::ApplyCommandState(QAction* action, const CCmdUI& ui) {
  action->setEnabled(ui.enabled);
  if (ui.radio && !action->actionGroup()) {
    // A radio mark, not a tick: the entry's own exclusive group makes the menu draw it so; the
    // command's update decides which entry of the choice is set (only that one is checkable).
    auto* group = new QActionGroup(action);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    group->addAction(action);
  }
  action->setCheckable(ui.checked);
  action->setChecked(ui.checked);
}

void CMainFrame::UpdateMenu(QMenu* menu) {
  for (QAction* action : menu->actions()) {
    if (action->property("dynamic").isValid()) FillDynamicMenu(menu, action);
  }
  for (QAction* action : menu->actions()) {
    if (action->isSeparator() || action->menu() || action->property("dynamic").isValid()) continue;
    const CCmdUI ui = RouteUpdate(action->data().toInt());
    ApplyCommandState(action, ui);
    if (!ui.text.empty()) {
      action->setText(QString::fromStdString(ui.text));
    } else if (const QVariant own = action->property("entry_text"); own.isValid()) {
      action->setText(own.toString());
    }
  }
}

namespace {

// The picture of each tool bar command.
const std::map<int, const char*>& ToolbarPictures() {
  static const std::map<int, const char*> pictures = {
      {32849, "import"}, {32847, "save"},  {57607, "print"}, {33661, "undo"},
      {33662, "redo"},   {32872, "delete"}, {32804, "mark"},  {32800, "mark"},
      {32789, "route"},  {33101, "text"},  {32780, "maps"},  {32808, "lock"},
      {32934, "position"}, {32944, "satellites"},
      // The Printing tool bar.
      {33530, "print"}, {33533, "print_preview"}, {33536, "remove_page"}, {33531, "cancel"},
  };
  return pictures;
}

}  // namespace

namespace {

// Swallows the tool bars' tips while the user has them off.
class TipFilter : public QObject {
 public:
  explicit TipFilter(const bool& shown) : shown_(shown) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ToolTip && !shown_) return true;
    return QObject::eventFilter(watched, event);
  }

 private:
  const bool& shown_;
};

std::string JoinIds(const std::vector<int>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

// Ids of a stored list; nullopt when the text is not a list of ids.
std::optional<std::vector<int>> SplitIds(const std::string& text) {
  std::vector<int> ids;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string field = text.substr(start, comma - start);
    int id = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), id);
    if (error != std::errc() || end != field.data() + field.size() || id < 0) return std::nullopt;
    ids.push_back(id);
    start = comma + 1;
  }
  return ids;
}

constexpr char kToolbarOptionsSection[] = "command_bar";

}  // namespace

std::vector<int> CMainFrame::ToolbarButtons(QToolBar* bar) const {
  std::vector<int> ids;
  for (QAction* action : bar->actions()) ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
  return ids;
}

void CMainFrame::SetToolbarButtons(QToolBar* bar, const std::vector<int>& ids) {
  if (ids == ToolbarButtons(bar)) return;
  // The shipped buttons keep their own captions; others take their menu entry's.
  std::map<int, QString> captions;
  if (auto resource = LoadMenuResource(MenuPath(), kMenuBarId)) {
    for (int id : ids)
      if (id) captions[id] = QString::fromStdString(CDlgCustomize::CommandText(resource->entries, id));
  }
  for (QAction* action : bar->actions())
    if (!action->isSeparator()) captions[action->data().toInt()] = action->text();
  const vd::ui::ToolbarImageSize size = vd::ui::ToolbarImageSizeFor(app_.dpi_factor);
  for (QAction* action : bar->actions()) {
    bar->removeAction(action);
    action->deleteLater();
  }
  for (int id : ids) {
    if (id == 0) {
      bar->addSeparator();
      continue;
    }
    auto* action = new QAction(captions[id].isEmpty() ? QString::number(id) : captions[id], bar);
    action->setData(id);
    if (const auto picture = ToolbarPictures().find(id); picture != ToolbarPictures().end())
      action->setIcon(vd::ui::ToolbarIcon(picture->second, size.icon, size.large_icon));
    action->setToolTip(action->text());
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    bar->addAction(action);
  }
}

void CMainFrame::ApplyToolbarOptions() {
  const vd::ui::ToolbarImageSize size = vd::ui::ToolbarImageSizeFor(app_.dpi_factor);
  const int icon = large_icons_ ? size.large_icon : size.icon;
  for (QToolBar* bar : toolbars_) bar->setIconSize({icon, icon});
}

void CMainFrame::Customize() {
  if (toolbars_locked_) return;
  auto resource = LoadMenuResource(MenuPath(), kMenuBarId);
  std::vector<CToolbarButtons> bars;
  for (QToolBar* bar : toolbars_) {
    bars.push_back({bar->objectName().toStdString(), ToolbarButtons(bar), shipped_buttons_[bar], {}});
    for (QAction* action : bar->actions())
      if (!action->isSeparator()) bars.back().captions[action->data().toInt()] = action->text().toStdString();
  }
  CDlgCustomize dialog(this, resource ? resource->entries : std::vector<CMenuEntry>{}, bars,
                       {large_icons_, screen_tips_});
  if (dialog.DoModal(this) != vd::ui::kIdOk) return;
  for (size_t i = 0; i < toolbars_.size() && i < dialog.toolbars().size(); ++i)
    SetToolbarButtons(toolbars_[i], dialog.toolbars()[i].ids);
  large_icons_ = dialog.options().large_icons;
  screen_tips_ = dialog.options().screen_tips;
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  profile.SetInt(kToolbarOptionsSection, "large_icons", large_icons_ ? 1 : 0);
  profile.SetInt(kToolbarOptionsSection, "screen_tips", screen_tips_ ? 1 : 0);
  ApplyToolbarOptions();
  ApplyToolbarLock();
  SaveCommandBars();
  UpdateToolbars();
}

void CMainFrame::BuildToolbars() {
  // The picture size follows the screen's dots per inch.
  const vd::ui::ToolbarImageSize size = vd::ui::ToolbarImageSizeFor(app_.dpi_factor);
  tip_filter_ = std::make_unique<TipFilter>(screen_tips_);
  {
    const vd::os::ProfileStore profile = vd::OpenAppProfile();
    large_icons_ = profile.GetInt(kToolbarOptionsSection, "large_icons").value_or(0) != 0;
    screen_tips_ = profile.GetInt(kToolbarOptionsSection, "screen_tips").value_or(1) != 0;
  }
  for (int id : kToolbarIds) {
    auto resource = LoadMenuResource(MenuPath(), id);
    if (!resource) continue;
    auto* bar = new QToolBar(QString::fromStdString(resource->name), this);
    bar->setObjectName(QString::fromStdString(resource->name));
    bar->setIconSize({size.icon, size.icon});
    AddEntries(bar, resource->entries, *this, [](QMenu*) {});
    for (QAction* action : bar->actions()) {
      const auto picture = ToolbarPictures().find(action->data().toInt());
      if (picture == ToolbarPictures().end()) continue;
      action->setIcon(vd::ui::ToolbarIcon(picture->second, size.icon, size.large_icon));
      action->setToolTip(action->text());
    }
    shipped_buttons_[bar] = ToolbarButtons(bar);
    bar->installEventFilter(tip_filter_.get());
    addToolBar(Qt::TopToolBarArea, bar);
    if (id == kPrintingToolbar) bar->hide();
    toolbars_.push_back(bar);
  }
  ApplyToolbarOptions();
  // Tool bar buttons follow their commands' state: each time the program has handled what was
  // waiting and is about to wait for more (after start-up, a click, a key, a GPS fix, a chart
  // that finished opening), as menus do when they open. Not while a modal dialog runs: the
  // bars can't be used then, and the work that opened the dialog may be half done.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [this] {
            if (!closed_ && !closing_ && !QApplication::activeModalWidget()) UpdateToolbars();
          });
}

void CMainFrame::UpdateToolbars() {
  for (QToolBar* bar : toolbars_) {
    for (QAction* action : bar->actions()) {
      if (action->isSeparator()) continue;
      ApplyCommandState(action, RouteUpdate(action->data().toInt()));
    }
  }
  for (QAction* action : keyed_actions_) ApplyCommandState(action, RouteUpdate(action->data().toInt()));
}

void CMainFrame::ApplyToolbarLock() {
  for (QToolBar* bar : toolbars_) {
    for (QAction* action : bar->actions())
      if (action->data().toInt() == kCmdCustomize) action->setVisible(!toolbars_locked_);
    bar->setMovable(!toolbars_locked_);
    bar->setFloatable(!toolbars_locked_);
    bar->setAllowedAreas(toolbars_locked_ ? Qt::NoToolBarArea : Qt::AllToolBarAreas);
  }
}

void CMainFrame::SetPrintingToolbars(bool on) {
  SaveCommandBars();
  for (QToolBar* bar : toolbars_) bar->setVisible(false);
  printing_mode_ = on;
  for (QToolBar* bar : toolbars_)
    if (bar->objectName() == "Printing") bar->setVisible(on);
  LoadCommandBars();
}

bool CMainFrame::EditPrintOptions(CPrintOptions& options, std::string& title) {
  return ::EditPrintOptions(this, options, title);
}

bool CMainFrame::ChooseImageExport(int width, int height, CImageExportChoice& choice) {
  const std::optional<CImageExportChoice> chosen = ::ChooseImageExport(this, width, height);
  if (!chosen) return false;
  choice = *chosen;
  return true;
}

void CMainFrame::PauseGPSForPrinting(bool pause) {
  if (pause) {
    gps_paused_for_printing_ = gps_ != nullptr;
    StopGPS();
  } else if (std::exchange(gps_paused_for_printing_, false)) {
    GPSParams params = LoadGPSParams();
    StartGPS(params);
  }
}

std::string CMainFrame::CommandBarSection() const {
  return printing_mode_ ? "command_bar\\printing"
                        : "command_bar\\N" + std::to_string(command_bar_mode_);
}

void CMainFrame::SaveCommandBars() {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  const std::string section = CommandBarSection();
  for (QToolBar* bar : toolbars_) {
    profile.SetInt(section, bar->objectName().toStdString(), bar->isVisible() ? 1 : 0);
    profile.SetString(section, bar->objectName().toStdString() + "_buttons",
                      JoinIds(ToolbarButtons(bar)));
  }
}

void CMainFrame::LoadCommandBars() {
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  const std::string section = CommandBarSection();
  for (QToolBar* bar : toolbars_) {
    if (auto shown = profile.GetInt(section, bar->objectName().toStdString()))
      bar->setVisible(*shown != 0);
    // Buttons the user chose; a damaged list leaves the bar as it is.
    if (auto stored = profile.GetString(section, bar->objectName().toStdString() + "_buttons"))
      if (auto ids = SplitIds(*stored)) SetToolbarButtons(bar, *ids);
  }
  ApplyToolbarLock();
}

bool CMainFrame::RestoreLayout() {
  const vd::os::ProfileStore profile = vd::OpenAppProfile();
  auto state = profile.GetBinary(kLayoutSection, kLayoutStateName);
  if (!state) return false;
  // A layout that holds the explorer's panes gets them back with their views. The layout
  // names its docks in UTF-16, most significant byte first.
  const std::string_view bytes(reinterpret_cast<const char*>(state->data()), state->size());
  auto names = [&](std::string_view name) {
    std::string wide;
    for (char c : name) wide += {'\0', c};
    return bytes.find(wide) != std::string_view::npos;
  };
  if (names("pane_134") || names("pane_135")) MakeExplorerPanes();
  return restoreState(QByteArray(reinterpret_cast<const char*>(state->data()),
                                 static_cast<qsizetype>(state->size())));
}

void CMainFrame::SaveLayout() { SaveLayout(saveState()); }

void CMainFrame::SaveLayout(const QByteArray& state) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  // A layout that grew to the pane limit is dropped, so the next start has the default one.
  const int stored_panes = profile.GetInt(kLayoutSection, kLayoutPanesName).value_or(0);
  profile.DeleteSection(kLayoutSection);
  if (stored_panes >= kLayoutPaneLimit) return;
  profile.SetBinary(kLayoutSection, kLayoutStateName,
                    {reinterpret_cast<const uint8_t*>(state.data()), static_cast<size_t>(state.size())});
  profile.SetInt(kLayoutSection, kLayoutPanesName,
                 static_cast<int32_t>(findChildren<QDockWidget*>().size()));
}

// ---- Commands ----

bool CMainFrame::RouteCommand(int id) {
  bool handled = false;
  if (CDocView* view = ActiveChartView()) {
    if (auto* target = dynamic_cast<CCommandTarget*>(view)) handled = target->OnCommand(id);
  }
  if (!handled) {
    COstrelDoc* document = Document();
    CChildFrame* chart_frame = ActiveChartFrame();
    handled = (document && document->OnCommand(id)) || (chart_frame && chart_frame->OnCommand(id)) ||
              OnCommand(id) || app_.OnCommand(id);
  }
  // A command changes what the others can do (Undo after an edit, say); the tool bars show it.
  if (handled && !closed_) UpdateToolbars();
  return handled;
}

CCmdUI CMainFrame::RouteUpdate(int id) {
  CCmdUI ui;
  if (CDocView* view = ActiveChartView()) {
    if (auto* target = dynamic_cast<CCommandTarget*>(view); target && target->OnUpdateCommand(id, ui))
      return ui;
  }
  ui = {};
  if (COstrelDoc* document = Document(); document && document->OnUpdateCommand(id, ui)) return ui;
  ui = {};
  if (CChildFrame* chart_frame = ActiveChartFrame(); chart_frame && chart_frame->OnUpdateCommand(id, ui))
    return ui;
  ui = {};
  if (OnUpdateCommand(id, ui)) return ui;
  ui = {};
  app_.OnUpdateCommand(id, ui);
  return ui;
}

void CMainFrame::ShowNavigationPanes(CObjWaypoint* mark, CObjRoute* route) {
  if (route) {
    CNavigationData::ShowFollowRoute(route);
    CNavArrow::ShowFollowRoute(route);
  } else if (mark) {
    CNavigationData::ShowGotoMark(mark);
    CNavArrow::ShowGotoMark(mark);
  }
}

bool CMainFrame::FindPlace(const std::string& index_path, double& lat, double& lon,
                           std::string& name, bool& create_mark) {
  CDlgFindName dialog(index_path, lat, lon, this);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  lat = dialog.lat();
  lon = dialog.lon();
  name = dialog.name();
  create_mark = dialog.create_mark();
  return true;
}

bool CMainFrame::AskShapefileImport(const std::string& path, ShapefileImportOptions& options,
                                    CProjection& projection) {
  std::string error;
  const std::optional<ShapefileImportOptions> chosen = ::AskShapefileImport(path, this, &error);
  if (!error.empty())
    vd::ui::RunMessageBox(this, error, "Corvex", vd::ui::kMbOk | vd::ui::kMbIconError);
  if (!chosen) return false;
  options = *chosen;
  if (projection.LoadPrj(path)) return true;
  CDlgProjection dialog(this);
  return dialog.DoModal(this) == vd::ui::kIdOk && dialog.ApplyToProjection(projection);
}

ShapeKindChooser CMainFrame::ShapefileKindChooser() { return MakeShapeKindChooser(this); }

void CMainFrame::ShowProfile(int command, COstrelObject* object) {
  CObjTrack* track =
      object && object->IsKindOf(CObjTrack::kClass) ? static_cast<CObjTrack*>(object) : nullptr;
  switch (command) {
    case kCmdElevationProfile:
    case kCmdRouteProfile:
      CProfileWindow::Show(object);
      break;
    case kCmdAltitudeProfile:
      if (track) CAltitudeProfileWnd::Show(track);
      break;
    case kCmdSpeedProfile:
      if (track) CSpeedProfileWnd::Show(track);
      break;
    case kCmdHeartRateProfile:
      if (track) CHeartrateProfileWnd::Show(track);
      break;
    case kCmdOtherProfile:
      if (track) COtherProfileWnd::Show(track);
      break;
    default:
      break;
  }
}

bool CMainFrame::ShowProperties(COstrelObject* object) { return props_windows_->Show(object); }

bool CMainFrame::MakeExplorerPanes() {
  COstrelDoc* document = Document();
  if (!document) return false;
  const float f = app_.dpi_factor;
  auto scaled = [f](double v) { return static_cast<int>(v * f); };
  if (!explorer_form_ || !dock_host_->FindDock(CViewObjExplorerDialog::kPaneId)) {
    auto* form = new CViewObjExplorerDialog(*document);
    form->resize(scaled(300), scaled(320));
    if (!dock_host_->AttachPane(CViewObjExplorerDialog::kPaneId, "Overlay Properties",
                                {scaled(205), scaled(93), scaled(700), scaled(600)}, form)) {
      delete form;
      return false;
    }
    explorer_form_ = form;
  }
  if (!explorer_tree_ || !dock_host_->FindDock(CViewObjExplorerTree::kPaneId)) {
    auto* tree = new CViewObjExplorerTree(*document);
    tree->resize(scaled(200), scaled(120));
    const bool new_pane = !dock_host_->FindDock(CViewObjExplorerTree::kPaneId);
    if (!dock_host_->AttachPane(CViewObjExplorerTree::kPaneId, "Overlay Explorer",
                                {scaled(5), scaled(93), scaled(200), scaled(600)}, tree)) {
      delete tree;
      return false;
    }
    explorer_tree_ = tree;
    // A new tree docks at the left of the chart windows (the form floats beside it); a pane
    // the layout brought back stays where the user left it.
    if (QDockWidget* dock = dock_host_->FindDock(CViewObjExplorerTree::kPaneId); dock && new_pane) {
      dock->setFloating(false);
      addDockWidget(Qt::LeftDockWidgetArea, dock);
      resizeDocks({dock}, {scaled(200)}, Qt::Horizontal);
    }
    tree->SetSelectionHandler([this](COstrelObject* object) {
      if (explorer_form_) explorer_form_->ShowObject(object);
    });
    tree->SetPropsWindows(props_windows_.get());
    tree->SetOpenHandler([this](COstrelObject*) { ShowExplorerPanes(); });
  }
  return true;
}

bool CMainFrame::AskOffset(double& distance_nm, double& bearing_true, bool& create_new) {
  CDlgOffsetMark dialog(this, app_.show_magnetic.value != 0, app_.magnetic_variation);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  distance_nm = dialog.distance_nm();
  bearing_true = dialog.bearing_true();
  create_new = dialog.create_new();
  return true;
}

bool CMainFrame::AskMatching(bool show, std::string& name, std::string& category) {
  CDlgMatchingOverlay dialog(this, show);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  name = dialog.name_pattern();
  category = dialog.category_pattern();
  return true;
}

void CMainFrame::ShowIconsDialog() {
  COstrelDoc* document = Document();
  if (!document) return;
  CDlgIcons dialog(this, *document->GetObjectList(), app_.dpi_factor);
  dialog.DoModal(this);
}

CViewObjExplorerTree* CMainFrame::explorer_tree() const { return explorer_tree_; }

CViewObjExplorerDialog* CMainFrame::explorer_form() const { return explorer_form_; }

void CMainFrame::ShowExplorerPanes() {
  if (!MakeExplorerPanes()) return;
  dock_host_->ShowPane(CViewObjExplorerDialog::kPaneId);
  dock_host_->ShowPane(CViewObjExplorerTree::kPaneId);
  // Both views show the selected object.
  COstrelObject* selected = COstrelObject::GetSelected(Document());
  if (selected) {
    selected->Deselect();
    selected->Select(true);
  }
  explorer_form_->ShowObject(selected);
}

void CMainFrame::ShowRouteCard(CObjRoute* route) {
  CDlgRouteProps card(route, this);
  if (const std::optional<std::string> path = card.WriteRouteCard()) vd::ui::OpenDocument(*path);
}

bool CMainFrame::CanGpsTransfer(int direction, int kind) const {
  return gps_ && gps_->CanTransfer(direction, kind);
}

namespace {

// The document's visible marks and routes of a kind as the plain records the NMEA output sends.
GpsObjectList PlainGpsObjects(int kind, const ObjectList& objects) {
  GpsObjectList out;
  for (COstrelObject* object : objects) {
    if (!object->visible) continue;
    if (kind == 2 && object->IsKindOf(CObjWaypoint::kClass)) {
      const auto* mark = static_cast<const CObjWaypoint*>(object);
      if (mark->HasRoutes()) continue;  // sent with its routes
      out.marks.push_back({mark->name, {mark->position.lat, mark->position.lon}});
    } else if (kind == 3 && object->IsKindOf(CObjRoute::kClass)) {
      const auto* route = static_cast<const CObjRoute*>(object);
      GpsRoute plain{route->name, {}};
      for (const CObjWaypoint* mark : route->points())
        plain.points.push_back({mark->name, {mark->position.lat, mark->position.lon}});
      out.routes.push_back(std::move(plain));
    }
  }
  return out;
}

}  // namespace

int CMainFrame::GpsTransfer(int direction, int kind, ObjectList& objects) {
  if (!gps_) return 0;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int moved = 0;
  if (auto* garmin = dynamic_cast<CGarminIO*>(gps_.get())) {
    // Track logs are long: their packets move a progress bar whose Cancel ends the transfer.
    std::optional<CProgress> progress;
    const char* title = direction == 0 ? "Reading track log from GPS" : "Sending track log to GPS";
    if (kind == CGPSInterface::kTracks) {
      garmin->progress = [&](int done, int total) {
        if (!progress) progress.emplace(title, std::max(total, 1), this);
        return progress->SetPos(std::min(done, std::max(total, 1)));
      };
    }
    moved = direction == 0 ? garmin->Import(kind, objects) : garmin->Export(kind, objects);
    garmin->progress = nullptr;
  } else if (auto* storage = dynamic_cast<CGarminMassStorage*>(gps_.get())) {
    moved = direction == 0 ? storage->Import(kind, objects) : storage->Export(kind, objects);
    if (moved > 0) {
      QApplication::restoreOverrideCursor();
      vd::ui::RunMessageBox(this, "Transfer complete.", "Corvex",
                            vd::ui::kMbOk | vd::ui::kMbIconInformation);
      QApplication::setOverrideCursor(Qt::WaitCursor);
    }
  } else if (direction == 1) {
    moved = gps_->Export(kind, PlainGpsObjects(kind, objects));
  } else {
    GpsObjectList received;
    moved = gps_->Import(kind, received);
  }
  QApplication::restoreOverrideCursor();
  return moved;
}

void CMainFrame::ShowGpsError() {
  if (!gps_ || gps_->message.empty()) return;
  vd::ui::RunMessageBox(this, gps_->device_description + ":\n" + gps_->message, "Corvex",
                        vd::ui::kMbOk | vd::ui::kMbIconWarning);
  gps_->message.clear();
}

bool CMainFrame::ChooseMap(std::string& path, bool& new_window) {
  COstrelDoc* document = Document();
  if (!document) return false;
  CDlgChartSelect dialog(*document, nullptr, this);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  path = dialog.chosen_path();
  new_window = dialog.open_in_new_window();
  return true;
}

bool CMainFrame::ChooseMapForNewWindow(std::string& path, bool& new_window) {
  COstrelDoc* document = Document();
  if (!document) return false;
  CDlgChartSelect dialog(*document, nullptr, this);
  dialog.set_window_name(CDlgChartSelect::kNewWindowName);
  if (dialog.DoModal(this) != vd::ui::kIdOk) return false;
  path = dialog.chosen_path();
  new_window = dialog.open_in_new_window();
  return true;
}

std::vector<std::string> CMainFrame::RunMapShop(const std::vector<GeoPoint>& area,
                                               const std::string& chart_path) {
  CDlgKartovia shop(area.empty() ? nullptr : area.data(), static_cast<int>(area.size()),
                    chart_path, this);
  if (shop.DoModal(this) != vd::ui::kIdOk) return {};
  return shop.result();
}

bool CMainFrame::OnCommand(int id) {
  switch (id) {
    case kCmdExit:
      CloseFrame();
      return true;
    case kCmdTile:
      mdi_->tileSubWindows();
      return true;
    case kCmdCascade:
      mdi_->cascadeSubWindows();
      return true;
    case kCmdPlanning:
    case kCmdNavigation: {
      SaveCommandBars();
      command_bar_mode_ = id == kCmdPlanning ? 0 : 1;
      vd::OpenAppProfile().SetInt(vd::kSettingsSection, "command_bar_mode", command_bar_mode_);
      LoadCommandBars();
      return true;
    }
    case kCmdLockToolbars:
      toolbars_locked_ = !toolbars_locked_;
      ApplyToolbarLock();
      return true;
    case kCmdCustomize:
      Customize();
      return true;
    case kCmdGpsSetup: {
      GPSParams params = LoadGPSParams();
      CDlgGPSSetup dialog(params, GpsPortChoices({app_.data_folder, app_.temp_folder}), this);
      if (dialog.DoModal(this) == vd::ui::kIdOk) {
        gps_debug_log = params.debug_log;
        StartGPS(params);
      }
      return true;
    }
    case kCmdSatellites:
    case kCmdCurrentPosition:
    case kCmdCurrentPositionAlt:
      if (COstrelDoc* document = Document()) {
        CObjCurrentPosition* position = document->GetCurrentPositionObject();
        if (id == kCmdSatellites) {
          CSatelliteData::Show(position);
        } else {
          CPositionData::Show(position);
        }
      }
      return true;
    case kCmdCheckUpdates:
      app_.OpenURL("https://www.vardune.example/update_frame.html?version=" + GetVersionString() +
                   "&build=" + GetBuildString() + "&edition=VD");
      return true;
    default:
      return false;
  }
}

bool CMainFrame::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kCmdExit:
    case kCmdTile:
    case kCmdCascade:
    case kCmdCheckUpdates:
      ui.enabled = true;
      return true;
    case kCmdPlanning:
    case kCmdNavigation:
      ui.enabled = true;
      // The layout in use, one of the two: a radio mark (the tool bar named Navigation shows in
      // both layouts).
      ui.checked = command_bar_mode_ == (id == kCmdPlanning ? 0 : 1);
      ui.radio = true;
      return true;
    case kCmdLockToolbars:
      ui.enabled = true;
      ui.checked = toolbars_locked_;
      return true;
    case kCmdCustomize:
      ui.enabled = !toolbars_locked_;
      return true;
    case kCmdSatellites:
    case kCmdCurrentPosition:
    case kCmdCurrentPositionAlt:
      ui.enabled = gps_ != nullptr;
      return true;
    case kCmdGpsSetup:
      ui.enabled = true;
      return true;
    default:
      return false;
  }
}

// ---- Chart frames ----

COstrelDoc* CMainFrame::Document() const { return app_.Document(); }

std::vector<CChildFrame*> CMainFrame::ChartFrames() const {
  std::vector<CChildFrame*> frames;
  for (QMdiSubWindow* window : mdi_->subWindowList())
    if (auto* frame = dynamic_cast<CChildFrame*>(window)) frames.push_back(frame);
  return frames;
}

CChildFrame* CMainFrame::ActiveChartFrame() const {
  auto* frame = dynamic_cast<CChildFrame*>(mdi_ ? mdi_->activeSubWindow() : nullptr);
  if (!frame) {
    // Without an active window (the program is in the background) the current one counts.
    frame = dynamic_cast<CChildFrame*>(mdi_ ? mdi_->currentSubWindow() : nullptr);
  }
  return frame;
}

CDocView* CMainFrame::ActiveChartView() const {
  CChildFrame* frame = ActiveChartFrame();
  return frame ? frame->view() : nullptr;
}

CDocView* CMainFrame::CreateChartFrame() {
  COstrelDoc* document = Document();
  if (!document || !app_.chart_view_maker()) return nullptr;
  auto [widget, view] = app_.chart_view_maker()(*document);
  if (!widget || !view) return nullptr;
  auto* frame = new CChildFrame(widget, view, document);
  mdi_->addSubWindow(frame);
  frame->show();
  if (document->maximise_views()) frame->showMaximized();
  mdi_->setActiveSubWindow(frame);
  // The view opens its chart once it sits in its frame.
  if (auto* chart_view = dynamic_cast<COstrelView*>(view)) chart_view->OnInitialUpdate();
  return view;
}

void CMainFrame::ShowFrameOf(CDocView* view) {
  for (CChildFrame* frame : ChartFrames()) {
    if (frame->view() != view) continue;
    if (frame->isMinimized() || frame->isHidden()) frame->showNormal();
    mdi_->setActiveSubWindow(frame);
    return;
  }
}

bool CMainFrame::GetFramePlacement(const CDocView* view, CWindowPlacement& placement) const {
  for (CChildFrame* frame : ChartFrames()) {
    if (frame->view() != view) continue;
    placement = CWindowPlacement{};
    placement.show_cmd = frame->isMaximized()   ? kShowMaximized
                         : frame->isMinimized() ? kShowMinimized
                                                : kShowNormal;
    const QRect normal = frame->isMaximized() || frame->isMinimized() ? frame->normalGeometry()
                                                                       : frame->geometry();
    placement.left = normal.left();
    placement.top = normal.top();
    placement.right = normal.right() + 1;
    placement.bottom = normal.bottom() + 1;
    return true;
  }
  return false;
}

void CMainFrame::TileFrames() { mdi_->tileSubWindows(); }

// ---- Closing ----

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  activateWindow();
  COstrelDoc* document = Document();
  if (!document) return;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) document->OpenFileByType(url.toLocalFile().toStdString());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (closed_ || OnClose())
    event->accept();
  else
    event->ignore();
}

bool CMainFrame::CloseFrame() {
  if (closed_) return true;
  if (!OnClose()) return false;
  // Closed, not only hidden: the last window's close ends the program's loop.
  close();
  return true;
}

bool CMainFrame::OnClose() {
  if (closing_) return false;
  closing_ = true;
  // The 3D viewer is told first; its answer is not waited for beyond a moment.
  if (vd::os::IpcWindowExists(kViewerWindowClass))
    vd::os::IpcSend(kViewerWindowClass, vd::ui::kWmClose, 0, 0, kViewerCloseWaitMs);
  // The layout as the user leaves the window, with the data panes still in it: each comes
  // back where it was when it is next opened.
  const QByteArray layout = saveState();
  app_.CloseAllDataWindows();
  if (GetDockingHost() == dock_host_.get()) InstallDockingHost(nullptr);
  SaveCommandBars();
  SaveLayout(layout);
  // The document is saved; when that fails and the user keeps the program open, nothing
  // more happens: the GPS input goes on recording.
  CMyDocTemplate* first = app_.first_template();
  if (first && first->document() && !first->document()->SaveModified()) {
    closing_ = false;
    return false;
  }
  closing_ = false;
  // A dialog still open over the window (a new chart window's chooser, when the session ends
  // under it) is ended: what it works on goes now. Its caller finds that out when it returns.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = dynamic_cast<vd::ui::DialogWindow*>(widget); dialog && dialog->isVisible())
      dialog->End(vd::ui::kIdCancel);
  }
  gps_.reset();
  props_windows_->CloseAll();
  // The chart windows go before the document their views show.
  for (CChildFrame* frame : ChartFrames()) delete frame;
  if (first) first->DestroyDocument();
  KillTimer(kSaveTimer);
  ipc_server_.Stop();
  closed_ = true;
  return true;
}
