#include "corvex/ui/ostrel_app.h"

#include "corvex/desktop_entry.h"

#include <QApplication>
#include <QScreen>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "charts/chart_conversion.h"
#include "charts/converter_plugins.h"
#include "charts/chart_reader_services.h"
#include "charts/offline_data.h"
#include "charts/ui/chart_reader_message_boxes.h"
#include "core/file_utils.h"
#include "core/ui/copy_progress_window.h"
#include "core/ui/dialog_f1_help.h"
#include "core/persistent_value.h"
#include "core/program_version.h"
#include "core/ui/background_download.h"
#include "core/ui/dlg_progress.h"
#include "corvex/command_ids.h"
#include "corvex/doc_api_host.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/ui/desktop_waypoint_shell.h"
#include "corvex/ui/dlg_magnetic_variation.h"
#include "corvex/ui/dlg_nav_alarms.h"
#include "corvex/ui/dlg_projection.h"
#include "corvex/ui/doc_template.h"
#include "corvex/ui/corvex_overlay_shell.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/program_api_host.h"
#include "corvex/ui/splash_wnd.h"
#include "corvex/vd_transaction.h"
#include "gps/ui/data_pane.h"
#include "gps/ui/navigation_data.h"
#include "overlays/icon_library.h"
#include "overlays/obj_current_position.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/process.h"
#include "platform/os/profile_store.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/message_box.h"
#include "platform/ui/printer.h"

namespace {

constexpr char kVarduneKey[] = "Software\\Vardune";
// Held while a program decides whether it is the first one.
constexpr char kStartLockName[] = "Corvex-start";

// Position-format commands and their codes.
const std::map<int, int>& PositionFormatCommands() {
  static const std::map<int, int> commands = {
      {32938, 0}, {32939, 1}, {32940, 2}, {32941, 3},  {32942, 4},  {32946, 5},
      {234, 7},   {235, 8},   {33687, 9}, {33691, 10},
  };
  return commands;
}

constexpr int kCmdUnitsFirst = 32842;  // nautical, statute, metric
constexpr int kCmdContinuousScroll = 32815;
constexpr int kCmdNightColors = 32785;
constexpr int kCmdProjFile = 232;
constexpr int kCmdHelpTopics = 32878;
constexpr int kCmdHelp = 57670;
constexpr int kCmdHelpIndex = 32879;
constexpr int kCmdAbout = 57664;
// Commands without an entry of their own: the first two always enabled, the third keeps its
// entry's state; none does anything.
constexpr int kCmdUnlistedEnabledFirst = 32948;
constexpr int kCmdUnlistedEnabledSecond = 32949;
constexpr int kCmdUnlistedUnchanged = 33328;
constexpr int kCmdCustom = 33089;
constexpr int kCmdOpenElevationFile = 33088;
constexpr int kCmdDefaultMapProjection = 267;
constexpr int kCmdMagneticVariation = 32877;

// Splits a command line into words; double quotes keep blanks inside a word.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, in_word = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

std::string XdgDataHome() {
  auto data = vd::os::GetEnv("XDG_DATA_HOME");
  return data && !data->empty() ? *data : vd::os::HomeFolder() + "/.local/share";
}

// The program's printer as the saved printer's two blocks.
class CAppPrinterHost : public CPrinterHost {
 public:
  PrinterBlocks GetPrinterDeviceDefaults() override {
    const vd::ui::Printer& printer = vd::ui::Printer::Current();
    return {printer.DeviceBlock(), printer.NamesBlock()};
  }
  void SelectPrinter(const PrinterBlocks& blocks) override {
    vd::ui::Printer::Current().Select(blocks.device, blocks.names);
  }
};

CAppPrinterHost g_printer_host;

}  // namespace

COstrelApp::COstrelApp() = default;

COstrelApp::~COstrelApp() {
  CDialogF1Help::SetHelpContextHandler(nullptr);
  frame_.reset();
  api_host_.reset();
  templates_.clear();
}

COstrelApp* COstrelApp::Instance() { return static_cast<COstrelApp*>(CAppCommon::Instance()); }

bool COstrelApp::InitInstance(const std::vector<std::string>& args) {
  exit_code_ = 1;
  const CCommandLine command_line = ParseCommandLine(args);
  CSplashWnd::SetEnabled(command_line.show_splash);
  // What the chart readers have to tell the user reaches them from the first chart on.
  InstallChartReaderMessageBoxes();
  {
    // Opening a chart takes the magnetic variation at its centre. Charts may be opened by
    // helper threads: the update is then handed to the user-interface thread.
    ChartReaderServices services = GetChartReaderServices();
    services.update_magnetic_variation = [](double lat, double lon, int64_t seconds_1970) {
      // The application of the moment, not this one: the service outlives a program object.
      const auto update = [lat, lon, seconds_1970] {
        if (CAppCommon* app = CAppCommon::Instance())
          app->UpdateMagneticVariation(lat, lon, seconds_1970);
      };
      QCoreApplication* qt_app = QCoreApplication::instance();
      if (!qt_app || QThread::currentThread() == qt_app->thread()) {
        update();
      } else {
        QMetaObject::invokeMethod(qt_app, update, Qt::QueuedConnection);
      }
    };
    SetChartReaderServices(std::move(services));
  }
  // Long file copies show their progress and can be cancelled.
  InstallCopyProgressWindow();
  // Every dialog's F1 and Help button come to the program's help.
  CDialogF1Help::SetHelpContextHandler([this](const std::string& topic) { ShowHelpContext(topic); });

  // Folders; the temp folder is published for the 3D viewer. The programs hand files to each
  // other there: a folder that another user owns or may enter is not used.
  InitFolders();
  if (const std::string problem = vd::os::PrivateFolderProblem(temp_folder); !problem.empty()) {
    vd::ui::RunMessageBox(nullptr, problem, "Corvex", vd::ui::kMbOk | vd::ui::kMbIconError);
    return false;
  }
  CreateDirectoryTree(data_folder);
  printer_settings_ = std::make_unique<CPrinterSettings>(g_printer_host, data_folder);
  vd::os::ProfileStore(kVarduneKey).SetString("", "temp_folder", temp_folder);

  // Environment for the projection library and for programs started from here.
  if (!vd::os::GetEnv("GEOTIFF_CSV")) vd::os::SetEnv("GEOTIFF_CSV", program_folder + "/csv");
  if (!vd::os::GetEnv("CORVEX_PROGDIR")) vd::os::SetEnv("CORVEX_PROGDIR", program_folder);

  vd::SetProfileLocation(vd::kDefaultProfileKey);
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  help_path = vd::ui::HelpFolder();

  config_document = command_line.config_document.empty()
                        ? ChooseConfigDocument(profile, data_folder)
                        : command_line.config_document;

  // One program at a time: a second one hands its file over and ends.
  start_lock_ = std::make_unique<vd::os::NamedMutex>(kStartLockName);
  start_lock_->Lock(10000);
  if (HandOverToRunningInstance(command_line.file_to_open)) {
    start_lock_.reset();
    exit_code_ = 0;
    return false;
  }

  newer_generation_ = std::make_unique<CNewerGeneration>("Corvex");

  // Downloaded charts.
  std::string qct_dir = profile.GetString(vd::kSettingsSection, "qct_dir").value_or("");
  if (qct_dir.empty() || !IsDirectory(qct_dir)) {
    qct_dir = XdgDataHome() + "/Vardune/qct";
    profile.SetString(vd::kSettingsSection, "qct_dir", qct_dir);
  }
  CreateDirectoryTree(qct_dir);

  BindProfileValues();
  quilt_antialias = profile.GetInt(vd::kSettingsSection, "quilt_antialias").value_or(0);

  // Base maps shipped beside the program go into the map store once.
  const std::string base_maps = GetKvxFolder() + "/basemaps";
  if (SeedFolder(program_folder + "/qct", base_maps)) {
    profile.SetString("chart_dirs", "runcd_install", base_maps);
    profile.SetInt("chart_dirs", "update", 1);
  }

  custom_cmd = profile.GetString(vd::kSettingsSection, "custom_cmd").value_or("");

  for (int id : {129, 131, 130, 280, 280, 132})
    templates_.push_back(std::make_unique<CMyDocTemplate>(id));

  if (QScreen* screen = QGuiApplication::primaryScreen())
    dpi_factor = static_cast<float>((screen->logicalDotsPerInchX() + screen->logicalDotsPerInchY()) / 192.0);
  CIconLibrary::Get().SetDisplayScale(dpi_factor);
  CDataPane::SetDisplayScale(dpi_factor);
  CObjCurrentPosition::SetDisplayScale(dpi_factor);
  CObjWaypoint::InstallIconLibraryHooks();
  static CDesktopWaypointShell desktop_shell;
  CObjWaypoint::SetShell(&desktop_shell);
  CNavigationData::SetAlarmsEditor([](QWidget* owner) { EditNavigationAlarms(owner); });

  frame_ = std::make_unique<CMainFrame>(*this);
  if (!frame_->Create()) {
    start_lock_.reset();
    return false;
  }
  start_lock_.reset();  // others find this program's window from now on
  // The newer overlay model's status texts and hints go to the main window, its route
  // downloads to the active chart view.
  newer_generation_->InstallShell(std::make_unique<CCorvexOverlayShell>(frame_.get()));
  newer_generation_->SetListOwner(frame_.get());
  // The original of a reference chart kept in another format is converted under this window.
  InstallChartReaderConverter(
      [window = ConverterWindow(frame_->winId())] { return window; });

  // Offline data comes down under the main window's progress dialog (the elevation file of the
  // last run opened with the common settings).
  offline_data().set_download([this](const std::string& host, const std::string& path,
                                     const std::string& local_file, const std::string& title,
                                     bool secure) {
    StartBackgroundDownload(frame_.get(), host, path, local_file, title, secure);
  });
  // The look-up of where a chart's offline data lies runs off the window's thread, with
  // Cancel, so that a server that stops answering never holds the window.
  offline_data().set_lookup(
      [this](const std::string& title, const std::function<void(CDownloadProgress&)>& ask) {
        CDownloadProgress job;
        job.thread = std::thread([&job, &ask] {
          ask(job);
          job.SetFinished();
        });
        RunWithProgress(frame_.get(), job, title);
      });

  continuous_scrolling = profile.GetInt(vd::kSettingsSection, "continuous_scrolling").value_or(0);
  RegisterDesktopFiles();
  // The window's normal size is most of the work area, so that a desktop which does not
  // maximise windows (or a later restore) still shows a large window.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const QSize size(area.width() * 9 / 10, area.height() * 9 / 10);
    frame_->setGeometry(QRect(area.topLeft() + QPoint((area.width() - size.width()) / 2,
                                                      (area.height() - size.height()) / 2),
                              size));
  }
  frame_->showMaximized();

  const int runs = profile.GetInt(vd::kSettingsSection, "run_count2").value_or(0);
  profile.SetInt(vd::kSettingsSection, "run_count2", runs + 1);
  if (runs == 0) OnHelpTopics();

  if (!templates_.front()->OpenDocumentFile(config_document, frame_.get())) return false;

  if (!command_line.file_to_open.empty()) {
    if (COstrelDoc* document = Document())
      document->OpenFileByType(command_line.file_to_open);
  }

  frame_->RestoreLayout();
  // The printer of the last run; a missing or damaged file leaves the program's own.
  printer_settings_->Load(CPrinterSettings::kFileName);
  printer_settings_->Apply();
  frame_->StartGPSAtLaunch();
  started = true;
  exit_code_ = 0;
  return true;
}

int COstrelApp::ExecuteApiCommand(int64_t code) {
  COstrelDoc* document = Document();
  if (document != api_host_document_) {
    api_host_ = document ? std::make_unique<CProgramApiHost>(*document) : nullptr;
    api_host_document_ = document;
  }
  return ExecuteApiRequest(code, api_host_.get());
}

int COstrelApp::ExitInstance() {
  // The printer chosen in this run is the next run's.
  if (started && printer_settings_) {
    printer_settings_->CopyDefaults();
    printer_settings_->Save(CPrinterSettings::kFileName);
  }
  frame_.reset();
  api_host_.reset();
  api_host_document_ = nullptr;
  templates_.clear();
  CConverterPlugins::UnloadAll();
  newer_generation_.reset();
  return exit_code_;
}

bool COstrelApp::HandOverToRunningInstance(const std::string& file_to_open) {
  if (!vd::os::IpcWindowExists(kMainWindowClass)) return false;
  // The file travels in the message itself, so programs started together lose none.
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "activate_open", file_to_open);
  return vd::os::IpcSendText(kMainWindowClass, vd::os::kUserMessage, CMainFrame::kOpenHandedFile,
                             file_to_open)
      .has_value();
}

void COstrelApp::RegisterDesktopFiles() const {
  // The desktop's stand-in for registering document types with the shell: the entry that opens
  // the program's files with this program, and the types of those files, as the installer
  // puts them in place for every user.
  const std::string source = program_folder + "/resources/desktop";
  std::string entry, types;
  if (!vd::os::ReadWholeFile(source + "/corvex.desktop.in", entry) ||
      !vd::os::ReadWholeFile(source + "/vardune-mime.xml", types))
    return;
  const std::string data = XdgDataHome();
  if (CreateDirectoryTree(data + "/applications"))
    vd::os::SaveFileAtomically(data + "/applications/corvex.desktop",
                               FillDesktopEntry(entry, program_folder));
  if (CreateDirectoryTree(data + "/mime/packages"))
    vd::os::SaveFileAtomically(data + "/mime/packages/corvex.xml", types);
}

COstrelDocBase* COstrelApp::FindFirstDocument() { return FindOpenDocument(); }

void COstrelApp::LoadCommonSettings() {
  CAppCommon::LoadCommonSettings();
  CVD_transaction::InitApiTransactionFileName();
}

COstrelDoc* COstrelApp::Document() const { return FindOpenDocument(); }

void COstrelApp::ShowUserMessage(const std::string& text) {
  vd::ui::RunMessageBox(frame_.get(), text, "Corvex", vd::ui::kMbOk | vd::ui::kMbIconInformation);
}

void COstrelApp::OnHelpTopics() { vd::ui::OpenHelpTopic("index"); }

// The help pages' A to Z.
void COstrelApp::OnHelpIndex() { vd::ui::OpenHelpTopic("help_index"); }

void COstrelApp::ShowHelpTopic(const std::string& topic) { vd::ui::OpenHelpTopic(topic); }

void COstrelApp::ShowHelpContext(const std::string& topic) { vd::ui::OpenHelpTopic(topic); }

void COstrelApp::ShowHelpContext(int context_id) {
  ShowHelpContext(CDialogF1Help::ContextTopic(context_id));
}

void COstrelApp::LoadChartDirs(std::vector<std::string>& list) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  ::LoadChartDirs(profile, list);
}

void COstrelApp::SaveChartDirs(const std::vector<std::string>& list) {
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  ::SaveChartDirs(profile, list);
}

bool COstrelApp::OnCommand(int id) {
  if (id >= kCmdUnitsFirst && id <= kCmdUnitsFirst + 2) {
    SetDistanceUnits(id - kCmdUnitsFirst);
    return true;
  }
  if (auto it = PositionFormatCommands().find(id); it != PositionFormatCommands().end()) {
    SetPositionFormat(it->second);
    return true;
  }
  vd::os::ProfileStore profile = vd::OpenAppProfile();
  switch (id) {
    case kCmdContinuousScroll:
      continuous_scrolling = !continuous_scrolling;
      profile.SetInt(vd::kSettingsSection, "continuous_scrolling", continuous_scrolling);
      return true;
    case kCmdNightColors:
      night_colors.value = !night_colors.value;
      profile.SetInt(vd::kSettingsSection, "night_colors", night_colors.value);
      if (COstrelDoc* document = Document()) {
        for (CDocView* view : document->GetChartViews())
          if (auto* chart_view = dynamic_cast<COstrelView*>(view))
            chart_view->SetNightColors(night_colors.value != 0);
        document->UpdateAllViews(nullptr, 0, nullptr);
      }
      return true;
    case kCmdProjFile: {
      vd::ui::FileDialogRequest request;
      request.title = "Projection data file";
      request.filter = "Projection data files (*.dat);;All Files (*)";
      request.initial_path = profile.GetString(vd::kSettingsSection, "posn_format_proj").value_or("");
      auto chosen = vd::ui::CurrentResponder().ChooseFile(request);
      if (!chosen) return true;
      profile.SetString(vd::kSettingsSection, "posn_format_proj", *chosen);
      DropPositionFormatter();
      SetPositionFormat(6);
      return true;
    }
    case kCmdHelpTopics:
    case kCmdHelp:
      OnHelpTopics();
      return true;
    case kCmdHelpIndex:
      OnHelpIndex();
      return true;
    case kCmdAbout:
      vd::ui::RunMessageBox(frame_.get(),
                            "Version " + GetVersionString() + ", Build " + GetBuildString() +
                                "\n\nCorvex shows your charts with your marks, routes and tracks."
                                "\nCharts here are for planning; always check the official ones."
                                "\n\nhttps://www.vardune.example/",
                            "About Corvex", vd::ui::kMbOk | vd::ui::kMbIconInformation);
      return true;
    case kCmdDefaultMapProjection:
      ChooseDefaultMapProjection(frame_.get(), temp_folder);
      return true;
    case kCmdMagneticVariation:
      EditMagneticVariation(*this, frame_.get());
      return true;
    case kCmdOpenElevationFile: {
      vd::ui::FileDialogRequest request;
      request.title = "Open";
      request.filter = "QuickChart Elevation Data (*.qed);;All Files (*)";
      request.initial_path =
          profile.GetString(vd::kSettingsSection, "qedfile").value_or(program_folder + "/elevation.qed");
      if (auto chosen = vd::ui::CurrentResponder().ChooseFile(request)) OpenElevationFile(*chosen);
      return true;
    }
    case kCmdCustom: {
      const auto words = SplitCommandLine(custom_cmd);
      bool ok = false;
      if (!words.empty())
        ok = vd::os::Spawn(words[0], {words.begin() + 1, words.end()}, false).started;
      if (!ok)
        vd::ui::RunMessageBox(frame_.get(), "Failed to run custom command process:\n" + custom_cmd,
                              "Corvex", vd::ui::kMbOk | vd::ui::kMbIconError);
      return true;
    }
    default:
      break;
  }
  if (id >= kCmdOtherGridsFirst && id <= kCmdOtherGridsLast) {
    const auto& grids = frame_->grid_list();
    const size_t index = static_cast<size_t>(id - kCmdOtherGridsFirst);
    if (index < grids.size()) {
      const std::string path = program_folder + "/Grids/" + grids[index] + ".dat";
      if (FileExists(path)) {
        profile.SetString(vd::kSettingsSection, "posn_format_proj", path);
        DropPositionFormatter();
        SetPositionFormat(6);
      }
    }
    return true;
  }
  return false;
}

bool COstrelApp::OnUpdateCommand(int id, CCmdUI& ui) {
  const CCmdUI unchanged = ui;
  ui.enabled = true;
  if (id >= kCmdUnitsFirst && id <= kCmdUnitsFirst + 2) {
    ui.checked = distance_units.value == id - kCmdUnitsFirst;
    ui.radio = true;
    return true;
  }
  if (auto it = PositionFormatCommands().find(id); it != PositionFormatCommands().end()) {
    ui.checked = posn_format.value == it->second;
    ui.radio = true;
    return true;
  }
  switch (id) {
    case kCmdContinuousScroll:
      ui.checked = continuous_scrolling != 0;
      return true;
    case kCmdNightColors:
      ui.checked = night_colors.value != 0;
      return true;
    case kCmdProjFile:
      ui.checked = posn_format.value == 6;
      ui.radio = true;
      return true;
    case kCmdHelpTopics:
    case kCmdHelp:
    case kCmdHelpIndex:
    case kCmdAbout:
    case kCmdUnlistedEnabledFirst:
    case kCmdUnlistedEnabledSecond:
    case kCmdOpenElevationFile:
    case kCmdDefaultMapProjection:
    case kCmdMagneticVariation:
      return true;
    case kCmdCustom:  // unset, it says so when run
      ui.enabled = true;
      return true;
    case kCmdUnlistedUnchanged:
      ui = unchanged;
      return true;
    default:
      break;
  }
  if (id >= kCmdOtherGridsFirst && id <= kCmdOtherGridsLast) return true;
  ui.enabled = false;
  return false;
}
