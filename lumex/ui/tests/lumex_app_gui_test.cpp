// The viewer's application and main frame: start-up, the hand-over from a second viewer, the
// close sent by the chart program, the stored placement and the toolbar's image set.
#include "lumex/ui/lumex_app.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "charts/old_quick_chart.h"
#include "core/file_utils.h"
#include "lumex/ui/main_frame.h"
#include "lumex/ui/window_placement.h"
#include "core/global_settings_type.h"
#include "geodesy/default_units.h"
#include "platform/ui/popup_menu.h"
#include "viewer_lib/mark_list_delegate.h"
#include "viewer_lib/newer_generation.h"
#include "viewer_lib/route_list_delegate.h"
#include "gps/nmea_sentence.h"
#include "overlays/model/overlay_gps_position.h"
#include "overlays/model/overlay_shell.h"
#include "overlays/model/ui/window_overlay_shell.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/numbers.h"
#include "platform/os/profile_store.h"
#include "platform/ui/help_pages.h"
#include "platform/ui/responder.h"
#include "platform/ui/toolbar_images.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"
#include "viewer_lib/data_connection.h"
#include "viewer_lib/gps_connection_menu.h"

namespace {

// A view that records the calls made on it, in order.
class FakeView : public CLumexViewBase {
 public:
  explicit FakeView(std::vector<std::string>& log) : log_(log) {}
  QWidget* widget() override { return &widget_; }
  bool CreateDevice() override { return Log("CreateDevice"), true; }
  void LoadPathFile() override { Log("LoadPathFile"); }
  void StopTerrainWorker() override { Log("StopTerrainWorker"); }
  void OnCommand(int id) override { Log("command " + std::to_string(id)); }
  CLumexCommandState CommandState(int id) override { return {id != 32796, id == 32771, true}; }

 private:
  void Log(const std::string& call) { log_.push_back(call); }
  std::vector<std::string>& log_;
  QWidget widget_;
};

// Handles Qt's events until the condition holds; false when a minute passed first.
bool ProcessEventsUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

class LumexAppTest : public testing::Test {
 protected:
  void SetUp() override {
    vd::os::SetEnv("XDG_RUNTIME_DIR", runtime.path());
    vd::os::SetEnv("XDG_CONFIG_HOME", config.path());
  }
  void TearDown() override {
    app.reset();
    vd::os::UnsetEnv("XDG_RUNTIME_DIR");
    vd::os::UnsetEnv("XDG_CONFIG_HOME");
  }
  void Start() {
    app = std::make_unique<CLumexApp>(
        [this](CLumexDoc&) { return std::make_unique<FakeView>(log); });
    ASSERT_TRUE(app->InitInstance());
  }
  // Sends the frame a message from another thread, as another program does, while this
  // thread handles the frame's events.
  void SendFromOtherProgram(uint32_t message, uintptr_t code) {
    std::atomic<bool> answered{false};
    std::thread other([&] {
      vd::os::IpcSend(kLumexWindowClass, message, code);
      answered = true;
    });
    EXPECT_TRUE(ProcessEventsUntil([&] { return answered.load(); }));
    other.join();
  }
  std::optional<std::vector<uint8_t>> StoredPlacement() const {
    return vd::os::ProfileStore(kLumexProfileKey).GetBinary("settings", kPlacementValue);
  }

  vd::test::TempDir runtime, config;
  std::vector<std::string> log;
  std::unique_ptr<CLumexApp> app;
};

TEST_F(LumexAppTest, StartsWithTheViewsDeviceAndSceneUnderItsTitleAndToolbar) {
  Start();
  EXPECT_EQ(log, (std::vector<std::string>{"CreateDevice", "LoadPathFile"}));
  EXPECT_TRUE(app->running);
  CMainFrame* frame = app->main_frame();
  EXPECT_EQ(frame->windowTitle().toStdString(), kLumexWindowTitle);
  EXPECT_EQ(frame->menuWidget(), nullptr);
  EXPECT_EQ(frame->toolbar()->objectName(), "Standard");
  const CToolbarImages images = ToolbarImagesFor(app->display_scale);
  EXPECT_EQ(frame->toolbar()->iconSize(), QSize(images.icon_size, images.icon_size));
  EXPECT_TRUE(vd::os::IpcWindowExists(kLumexWindowClass));

  // The toolbar carries the view's commands and shows their states.
  frame->UpdateCommandStates();
  for (QAction* action : frame->toolbar()->actions()) {
    const int id = action->data().toInt();
    EXPECT_EQ(action->isEnabled(), id != 32796) << id;
    EXPECT_EQ(action->isChecked(), id == 32771) << id;
  }
  frame->toolbar()->actions().front()->trigger();
  EXPECT_EQ(log.back(), "command 32771");

  // The desktop's keys: its zoom keys move the camera in and out; its quit key ends the viewer.
  std::map<int, QList<QKeySequence>> keys;
  for (QAction* action : frame->toolbar()->actions()) keys[action->data().toInt()] = action->shortcuts();
  EXPECT_EQ(keys[32773], QKeySequence::keyBindings(QKeySequence::ZoomIn));
  EXPECT_EQ(keys[32774], QKeySequence::keyBindings(QKeySequence::ZoomOut));
  EXPECT_FALSE(keys[32773].isEmpty());
  // Some platforms' key schemes bind no quit key at all; there is then nothing to find.
  if (QKeySequence::keyBindings(QKeySequence::Quit).isEmpty()) return;
  QAction* quit = nullptr;
  for (QAction* action : frame->actions())
    if (!action->shortcuts().isEmpty() && action->shortcuts() == QKeySequence::keyBindings(QKeySequence::Quit)) quit = action;
  ASSERT_NE(quit, nullptr);
  quit->trigger();
  EXPECT_TRUE(ProcessEventsUntil([&] { return !frame->isVisible(); }));
}

// The newer overlay model's hints appear over the viewer's window; the viewer, which has no
// status line, gets none from the model, and the model's shell goes with the program.
// The temporary folder the chart program recorded is used only when it is the user's alone:
// otherwise the viewer says why and does not start.
TEST_F(LumexAppTest, RefusesARecordedTempFolderOthersCanReach) {
  struct Recorder : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      asked.push_back(request.text);
      return vd::ui::kIdOk;
    }
    std::vector<std::string> asked;
  } answers;
  vd::ui::ScopedResponder responder(&answers);
  const std::string folder = runtime.File("Vardune");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  vd::os::ProfileStore("Software\\Vardune").SetString("", "temp_folder", folder);
  Start();  // private: the viewer starts
  EXPECT_TRUE(answers.asked.empty()) << testing::PrintToString(answers.asked);
  app.reset();

  ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
  app = std::make_unique<CLumexApp>([this](CLumexDoc&) { return std::make_unique<FakeView>(log); });
  EXPECT_FALSE(app->InitInstance());
  EXPECT_EQ(answers.asked, std::vector<std::string>{
                               "The folder for temporary files " + folder +
                               " can be entered by other users. Make it private to you (chmod "
                               "700) or remove it."});
  EXPECT_FALSE(app->main_frame());
}

TEST_F(LumexAppTest, OverlayModelHintsAppearOverTheWindowWithoutAddingAStatusLine) {
  struct Recorder : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      owners.push_back(request.owner);
      return vd::ui::kIdOk;
    }
    std::vector<QWidget*> owners;
  } recorder;
  vd::ui::ScopedResponder scope(&recorder);
  Start();
  auto* shell = dynamic_cast<CWindowOverlayShell*>(COverlayShell::Get());
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(shell->window(), app->main_frame());
  shell->ShowHint("hint");
  EXPECT_EQ(recorder.owners, std::vector<QWidget*>{app->main_frame()});
  shell->SetStatusText("Total distance: 1 nm");
  EXPECT_EQ(app->main_frame()->findChild<QStatusBar*>(), nullptr);
  app.reset();
  EXPECT_EQ(COverlayShell::Get(), nullptr);
}

// The newer generation's "GPS Connection" menu over the viewer's window: a replayed NMEA file
// moves the viewer's own position on the program's own heartbeat, the choice is kept in the
// settings file, and the NMEA debug capture records what came in and hands it to the user.
TEST_F(LumexAppTest, GpsConnectionMenuReplaysAFileAndCapturesWhatCameIn) {
  struct Answers : vd::ui::DialogResponder {
    int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
      if (choices.empty()) return 0;
      const std::string choice = choices.front();
      choices.erase(choices.begin());
      for (const auto& item : menu.items()) {
        if (item.text == choice && item.id > 0) return item.id;
      }
      ADD_FAILURE() << "no item " << choice;
      return 0;
    }
    std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest& request) override {
      saving.push_back(request.save);
      if (files.empty()) return std::nullopt;
      const std::string file = files.front();
      files.erase(files.begin());
      return file;
    }
    std::vector<std::string> choices, files;
    std::vector<bool> saving;
  } answers;
  vd::ui::ScopedResponder scope(&answers);
  vd::test::TempDir temp;
  vd::os::SetEnv("TMPDIR", temp.path());
  std::string replay;
  for (int i = 0; i < 20; ++i) {
    std::string rmc = vd::os::FormatC("$GPRMC,1200%02d.00,A,50%07.4f,N,00100.0000,W,6.0,0.0,"
                                      "010624,,", i, 0.06 * i);
    NMEAAppendChecksum(rmc);
    replay += rmc + "\r\n";
  }
  const std::string file = temp.File("trip.nmea");
  ASSERT_TRUE(vd::os::SaveFileAtomically(file, replay));
  Start();
  COverlayGPSPosition* own = COverlayGPSPosition::Instance();
  ASSERT_NE(own, nullptr);
  QWidget* window = app->main_frame();

  answers.choices = {"Record NMEA debug data"};
  EXPECT_TRUE(ShowGpsConnectionMenu(window));
  answers.choices = {"Simulation File"};
  answers.files = {file};
  EXPECT_TRUE(ShowGpsConnectionMenu(window));
  ASSERT_TRUE(ProcessEventsUntil([&] { return own->fix_present() && own->latitude > 50.0015; }));
  EXPECT_NEAR(own->longitude, -1.0, 1e-9);

  // The menu shows the choice, and the settings file keeps it with its file.
  const std::unique_ptr<CActionSheetMenu> menu = BuildGpsConnectionMenu();
  ASSERT_GE(menu->items().size(), 3u);
  EXPECT_EQ(menu->items()[0]->text(), "Simulation File");
  EXPECT_EQ(menu->items()[0]->data(), CActionSheetMenu::kRowSelected);
  EXPECT_EQ(menu->items()[1]->data(), CActionSheetMenu::kRowShown);
  std::string settings;
  ASSERT_TRUE(vd::os::ReadWholeFile(config.path() + "/Vardune/Lumex.ini", settings));
  EXPECT_NE(settings.find("CDataConnection:gps_connection_type=0x4a\n"), std::string::npos);
  const size_t name = settings.find("CNMEASimulation:filename=");
  ASSERT_NE(name, std::string::npos);
  EXPECT_EQ(settings.substr(settings.find('\n', name) - 12, 13), "%2ftrip.nmea\n")
      << "the path is stored with its separators escaped";

  // Ending the capture offers its file: the copy holds the lines as they came.
  answers.choices = {"Stop NMEA debug data"};
  answers.files = {temp.File("sent to support.txt")};
  EXPECT_TRUE(ShowGpsConnectionMenu(window));
  EXPECT_EQ(answers.saving, (std::vector<bool>{false, true}));
  std::string captured;
  ASSERT_TRUE(vd::os::ReadWholeFile(temp.File("sent to support.txt"), captured));
  EXPECT_EQ(captured.substr(0, 60), replay.substr(0, 60));
  EXPECT_EQ(captured.size() % (replay.size() / 20), 0u) << "whole lines only";

  // "None" ends the replay: the fix is gone, the position stays.
  answers.choices = {"None"};
  EXPECT_TRUE(ShowGpsConnectionMenu(window));
  EXPECT_FALSE(own->fix_present());
  EXPECT_GT(own->latitude, 50.0015);

  // A file that can't be read leaves the simulation closed with its reason.
  answers.files = {temp.File("gone.nmea")};
  EXPECT_FALSE(ChooseDataConnectionKind(CDataConnection::kSimulationFile));
  ASSERT_NE(CurrentDataConnection(), nullptr);
  EXPECT_FALSE(CurrentDataConnection()->is_open());
  EXPECT_EQ(CurrentDataConnection()->status, "Simulation file error");
  vd::os::UnsetEnv("TMPDIR");
}

// The viewer opens its charts on its terrain worker too: what the chart reader has to say
// reaches the user from there, once the viewer has started.
TEST_F(LumexAppTest, ChartReaderMessagesReachTheUserFromTheWorker) {
  struct Recorder : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      shown.push_back(request.text);
      return vd::ui::kIdOk;
    }
    std::vector<std::string> shown;
  } recorder;
  vd::ui::ScopedResponder scope(&recorder);
  vd::test::TempDir dir;
  const std::string path = dir.File("cut.qct");
  ASSERT_TRUE(vd::test::WriteChartFixture(path, vd::test::ChartFixture()));
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path, bytes));
  bytes.resize(0x45A8 + 4 * 2 * 2 - 1);  // the tile index ends a byte short
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, bytes));

  Start();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    EXPECT_EQ(OpenOldQuickChart(path, false), nullptr);
    done = true;
  });
  EXPECT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
  worker.join();
  ASSERT_EQ(recorder.shown.size(), 1u);
  EXPECT_TRUE(recorder.shown[0].starts_with("Failed to open map (2): \"" + path + "\""))
      << recorder.shown[0];
}

TEST_F(LumexAppTest, ASecondViewerHandsOverAndEnds) {
  Start();
  const std::string program = vd::os::ProgramFolder() + "/lumex";
  vd::test::ChildProcess second;
  std::string error;
  ASSERT_TRUE(second.Start(program, {}, {}, error)) << error;
  // It runs until its hand-over was answered, which takes this process's events.
  ASSERT_TRUE(ProcessEventsUntil([&] { return !second.Running(); }));
  const std::optional<int> status = second.Wait(std::chrono::milliseconds(0));
  ASSERT_TRUE(status);
  EXPECT_EQ(vd::test::DescribeWaitStatus(*status), "exit code 0");
  ASSERT_TRUE(ProcessEventsUntil([&] { return log.size() == 3; }));
  EXPECT_EQ(log.back(), "LoadPathFile");
  EXPECT_TRUE(vd::os::IpcWindowExists(kLumexWindowClass));
}

// The viewer program carries the newer library generation: at start-up it reads its settings
// file and writes it back with every record of that generation, the units and the AIS alarm
// settings among them, keeping the user's values.
TEST_F(LumexAppTest, ProgramStartUpWritesTheNewerGenerationsSettingsKeepingTheUsersValues) {
  const std::string settings = config.path() + "/Vardune/Lumex.ini";
  ASSERT_TRUE(vd::os::MakeFolders(config.path() + "/Vardune"));
  ASSERT_TRUE(vd::os::SaveFileAtomically(settings, "CAISTargetManager:alarm_beep=0\n"));
  // Started from a folder of its own: from the build tree, a viewer that finds no chart program
  // running starts one beside it, which would outlive the test.
  const std::string alone = runtime.File("alone");
  ASSERT_TRUE(vd::os::MakeFolders(alone));
  const std::string program = alone + "/lumex";
  if (::link((vd::os::ProgramFolder() + "/lumex").c_str(), program.c_str()) != 0) {
    ASSERT_TRUE(CopyFileBytes(vd::os::ProgramFolder() + "/lumex", program));
    ASSERT_EQ(::chmod(program.c_str(), 0700), 0);
  }
  vd::test::ChildProcess viewer;
  vd::test::ChildProcess::Options options;
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  options.output_file = runtime.File("lumex.log");
  std::string error;
  ASSERT_TRUE(viewer.Start(program, {}, options, error)) << error;
  ASSERT_TRUE(ProcessEventsUntil([] { return vd::os::IpcWindowExists(kLumexWindowClass); }));
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(settings, text));
  text.insert(0, "\n");
  EXPECT_NE(text.find("\nCAISTargetManager:alarm_beep=0\n"), std::string::npos) << text;
  for (const char* key : {"CDefaultUnits:units=", "CDefaultUnits:speed=",
                          "CDefaultUnits:posnfmt=", "CAISTargetManager:alarm_distance=",
                          "CMarkManager:", "CTrackManager:", "COverlayGPSPosition:",
                          "CDataConnection:", "CDataStartTimer:",
                          "CQuickChartView:automatic_download=1",
                          "CQuickChartView:change_scale_by_zooming=1"}) {
    EXPECT_NE(text.find(std::string("\n") + key), std::string::npos) << key;
  }
  viewer.Signal(SIGTERM);
  EXPECT_TRUE(viewer.Wait(std::chrono::seconds(60))) << "the viewer did not end";
}

// The viewer registers the newer generation's settings groups and makes its list delegates,
// owned by the main window; the "Units" group opens the sheet that changes the units.
TEST_F(LumexAppTest, NewerGenerationsUnitsGroupAndListsComeWithTheProgram) {
  struct ChooseMetric : vd::ui::DialogResponder {
    int TrackPopupMenu(const vd::ui::PopupMenu& menu, QWidget*, QPoint) override {
      for (const auto& item : menu.items()) {
        if (item.text == "Metric") return item.id;
      }
      return 0;
    }
  } answers;
  vd::ui::ScopedResponder responder(&answers);
  Start();
  CNewerGeneration* newer = app->newer_generation();
  ASSERT_NE(newer, nullptr);
  EXPECT_EQ(newer->mark_list().owner, app->main_frame());
  EXPECT_EQ(newer->route_list().GetTitle(), "Routes");
  CGlobalSettingsType* units = nullptr;
  bool ais = false;
  for (CGlobalSettingsType* group = CGlobalSettingsType::Head(); group; group = group->next()) {
    if (group->name() == "Units") units = group;
    if (group->name() == "AIS Settings") ais = true;
  }
  ASSERT_NE(units, nullptr);
  EXPECT_TRUE(ais);
  units->OpenSheet();
  EXPECT_EQ(CDefaultUnits::Global().distance_units, CDefaultUnits::kMetric);
  std::string text;
  ASSERT_TRUE(vd::os::ReadWholeFile(config.path() + "/Vardune/Lumex.ini", text));
  EXPECT_NE(text.find("CDefaultUnits:units=0x2\n"), std::string::npos) << text;
  CDefaultUnits::Global().SetUnitsSystem(CDefaultUnits::kStatute);
}

TEST_F(LumexAppTest, CloseFromTheChartProgramStoresThePlacementAndStopsTheView) {
  Start();
  app->main_frame()->setGeometry(40, 30, 420, 300);
  SendFromOtherProgram(vd::ui::kWmClose, 0);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !app->running; }));
  EXPECT_EQ(log.back(), "StopTerrainWorker");
  EXPECT_FALSE(vd::os::IpcWindowExists(kLumexWindowClass));
  const auto stored = StoredPlacement();
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, EncodeWindowPlacement({40, 30, 460, 330}, false));

  // The next viewer opens where this one was.
  app.reset();
  Start();
  EXPECT_EQ(app->main_frame()->geometry(), QRect(40, 30, 420, 300));
}

// With no placement stored, or one that is damaged, the window opens at three quarters of the
// screen's work area each way, in its middle: clear of the chart program's menus along the top.
TEST_F(LumexAppTest, FirstStartOpensALargeWindowInTheMiddleOfTheScreen) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect expected(area.left() + (area.width() - area.width() * 3 / 4) / 2,
                       area.top() + (area.height() - area.height() * 3 / 4) / 2,
                       area.width() * 3 / 4, area.height() * 3 / 4);
  const std::optional<std::vector<uint8_t>> stored[] = {
      std::nullopt, std::vector<uint8_t>(20, 0x7F), EncodeWindowPlacement({50, 50, 40, 90}, false)};
  for (const auto& record : stored) {
    if (record) {
      vd::os::ProfileStore(kLumexProfileKey).SetBinary(kPlacementSection, kPlacementValue, *record);
    }
    Start();
    EXPECT_EQ(app->main_frame()->geometry(), expected) << (record ? record->size() : 0);
    EXPECT_FALSE(app->main_frame()->isMaximized());
    app.reset();
  }
}

TEST_F(LumexAppTest, MaximisedWindowIsStoredAsANormalOneOfTheSameSize) {
  Start();
  CMainFrame* frame = app->main_frame();
  frame->showMaximized();
  ASSERT_TRUE(ProcessEventsUntil([&] { return frame->isMaximized(); }));
  const QRect filled = frame->geometry();
  frame->close();
  const auto stored = StoredPlacement();
  ASSERT_TRUE(stored);
  EXPECT_EQ(NormalRectOfPlacement(*stored),
            (CWindowRect{filled.left(), filled.top(), filled.left() + filled.width(),
                         filled.top() + filled.height()}));
  app.reset();
  Start();
  EXPECT_FALSE(app->main_frame()->isMaximized());
  EXPECT_EQ(app->main_frame()->geometry(), filled);
}

TEST(LumexToolbar, ImageSetFollowsTheDisplayScale) {
  const std::pair<float, CToolbarImages> cases[] = {
      {1.0f, {128, 16, 32}},  // 96 dpi
      {1.4f, {128, 16, 32}},  {1.5f, {139, 32, 48}},  // 144 dpi
      {1.9f, {139, 32, 48}},  {2.0f, {141, 32, 64}},  // 192 dpi
  };
  for (const auto& [scale, images] : cases) EXPECT_EQ(ToolbarImagesFor(scale), images) << scale;
}

TEST(LumexWindowPlacement, RecordLayoutAndDamagedRecords) {
  const std::vector<uint8_t> record = EncodeWindowPlacement({10, -20, 810, 580}, true);
  ASSERT_EQ(record.size(), 44u);
  const auto field = [&](size_t offset) {
    return int32_t(uint32_t(record[offset]) | uint32_t(record[offset + 1]) << 8 |
                   uint32_t(record[offset + 2]) << 16 | uint32_t(record[offset + 3]) << 24);
  };
  EXPECT_EQ(field(0), 44);
  EXPECT_EQ(field(8), 3);  // maximised
  EXPECT_EQ((std::vector<int32_t>{field(28), field(32), field(36), field(40)}),
            (std::vector<int32_t>{10, -20, 810, 580}));
  EXPECT_EQ(NormalRectOfPlacement(record), (CWindowRect{10, -20, 810, 580}));
  // Shorter than a whole record, or an empty rectangle: no placement.
  EXPECT_FALSE(NormalRectOfPlacement(std::span(record).first(43)));
  EXPECT_FALSE(NormalRectOfPlacement(EncodeWindowPlacement({10, 10, 10, 50}, false)));
}

// Every toolbar button shows its picture at the size the screen asks for; the About box and the
// help page are reached from the toolbar's end.
TEST_F(LumexAppTest, ToolbarPicturesAboutBoxAndHelp) {
  Start();
  QToolBar* bar = app->main_frame()->toolbar();
  const int size = ToolbarImagesFor(app->display_scale).icon_size;
  QAction* about = nullptr;
  QAction* help = nullptr;
  for (QAction* action : bar->actions()) {
    if (action->isSeparator()) continue;
    EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();
    EXPECT_TRUE(action->icon().availableSizes().contains(QSize(size, size)));
    const int app_command = action->property("app_command").toInt();
    if (app_command == kCmdLumexAbout) about = action;
    if (app_command == kCmdLumexHelp) help = action;
  }
  ASSERT_NE(about, nullptr);
  ASSERT_NE(help, nullptr);

  struct : vd::ui::DialogResponder {
    int MessageBox(const vd::ui::MessageBoxRequest& request) override {
      boxes.push_back(request.caption + ": " + request.text);
      return vd::ui::kIdOk;
    }
    std::vector<std::string> boxes;
  } told;
  vd::ui::ScopedResponder scope(&told);
  about->trigger();
  ASSERT_EQ(told.boxes.size(), 1u);
  EXPECT_EQ(told.boxes[0].rfind("About Lumex: Lumex", 0), 0u) << told.boxes[0];
  EXPECT_NE(told.boxes[0].find("Version 6.4.3"), std::string::npos);

  // The help page is the chart program's, found through the folder it passes on.
  std::vector<std::string> opened;
  auto previous = vd::ui::SetDocumentOpener([&](const std::string& path) {
    opened.push_back(path);
    return true;
  });
  vd::os::SetEnv("CORVEX_PROGDIR", vd::os::ProgramFolder() + "/../../corvex/ui");
  help->trigger();
  vd::os::UnsetEnv("CORVEX_PROGDIR");
  vd::ui::SetDocumentOpener(previous);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_TRUE(opened[0].ends_with("/resources/help/3D_Terrain_View.html")) << opened[0];
  EXPECT_EQ(told.boxes.size(), 1u);  // the page exists: nothing to say
}

}  // namespace
